// Location: the place in the source from which a task was posted, a timer
// started or a wait registered. It travels with the queued task and shows up
// in task tracing.

#ifndef BASE_LOCATION_H_
#define BASE_LOCATION_H_

namespace base {

// A plain value, copied freely. The two texts are never copied or freed:
// they must be static (string literals, __func__, __FILE__).
class Location {
 public:
  // Function and file "Unknown", line -1, no program counter: the start
  // value of objects that keep a location for later posts.
  Location();
  Location(const char* function_name, const char* file_name, int line_number,
           const void* program_counter);

  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  int line_number() const { return line_number_; }
  const void* program_counter() const { return program_counter_; }

 private:
  const char* function_name_;
  const char* file_name_;
  int line_number_;
  const void* program_counter_;
};

// The return address of this call: the code just after the call in the
// calling function, which tells apart two posting sites on one line.
const void* GetProgramCounter();

}  // namespace base

// The location of the statement where it is written. __func__ is the bare
// function name, without class qualifier.
#define CURRENT_LOCATION \
  ::base::Location(__func__, __FILE__, __LINE__, ::base::GetProgramCounter())

#endif  // BASE_LOCATION_H_
