// Forward declarations of the callback types, for headers that only pass
// callbacks along.

#ifndef BASE_CALLBACK_FORWARD_H_
#define BASE_CALLBACK_FORWARD_H_

namespace base {

template <typename Signature>
class Callback;

// A callback with no arguments and no result: a task.
using Closure = Callback<void()>;

}  // namespace base

#endif  // BASE_CALLBACK_FORWARD_H_
