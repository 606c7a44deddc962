#include "desktop/windows/installer/package_fetcher/seven_zip_folder_decoder.h"

#include <string.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "7zCrc.h"
#include "Bcj2.h"
#include "Bra.h"
#include "Delta.h"
#include "Lzma2Dec.h"
#include "LzmaDec.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/threading/simple_thread.h"

namespace installer {

namespace {

// Method ids of the 7z format.
constexpr UInt32 kCopy = 0x00;
constexpr UInt32 kDelta = 0x03;
constexpr UInt32 kX86 = 0x03030103;
constexpr UInt32 kPpc = 0x03030205;
constexpr UInt32 kIa64 = 0x03030401;
constexpr UInt32 kArm = 0x03030501;
constexpr UInt32 kArmThumb = 0x03030701;
constexpr UInt32 kSparc = 0x03030805;
constexpr UInt32 kArm64 = 0x0a;
constexpr UInt32 kRiscV = 0x0b;
constexpr UInt32 kBcj2 = 0x0303011b;
constexpr UInt32 kLzma = 0x030101;
constexpr UInt32 kLzma2 = 0x21;

// Input buffers: large enough that reads cost little, small beside the
// dictionaries. BCJ2's call and jump streams need multiples of 4.
constexpr size_t kCoderInputSize = size_t{1} << 18;
constexpr size_t kFilterBufferSize = size_t{1} << 16;
constexpr size_t kBcj2SideInputSize = size_t{1} << 16;

// The heaviest coder of a block this large decodes on a thread of its own,
// a few buffers ahead of the rest of the chain.
constexpr uint64_t kThreadedCoderMinSize = uint64_t{8} << 20;
constexpr size_t kThreadedBufferSize = size_t{1} << 17;
constexpr int kThreadedBuffers = 4;

// The largest LZMA2 dictionary property (4 GiB - 1).
constexpr Byte kMaxLzma2Property = 40;

uint32_t LoadLittleEndian32(const Byte* data) {
  return data[0] | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
         uint32_t{data[3]} << 24;
}

void StoreLittleEndian32(Byte* data, uint32_t value) {
  for (int i = 0; i < 4; ++i) data[i] = static_cast<Byte>(value >> (8 * i));
}

using BranchConverter = Byte* (*)(Byte* data, SizeT size, UInt32 pc);

struct Method {
  UInt32 id;
  Byte streams;      // input streams
  Byte props_sizes;  // bit n set: a props size of n bytes is accepted
  BranchConverter branch;
  // The converter's alignment of the start offset.
  UInt32 alignment;
};

const Method kMethods[] = {
    {kCopy, 1, 1 << 0, nullptr, 1},
    {kLzma, 1, 1 << 5, nullptr, 1},
    {kLzma2, 1, 1 << 1, nullptr, 1},
    {kDelta, 1, 1 << 1, nullptr, 1},
    {kX86, 1, 1 << 0 | 1 << 4, nullptr, 1},
    {kPpc, 1, 1 << 0 | 1 << 4, &z7_BranchConv_PPC_Dec, 4},
    {kIa64, 1, 1 << 0 | 1 << 4, &z7_BranchConv_IA64_Dec, 16},
    {kArm, 1, 1 << 0 | 1 << 4, &z7_BranchConv_ARM_Dec, 4},
    {kArmThumb, 1, 1 << 0 | 1 << 4, &z7_BranchConv_ARMT_Dec, 2},
    {kSparc, 1, 1 << 0 | 1 << 4, &z7_BranchConv_SPARC_Dec, 4},
    {kArm64, 1, 1 << 0 | 1 << 4, &z7_BranchConv_ARM64_Dec, 4},
    {kRiscV, 1, 1 << 0 | 1 << 4, &z7_BranchConv_RISCV_Dec, 2},
    {kBcj2, 4, 1 << 0, nullptr, 1},
};

const Method* FindMethod(const CSzCoderInfo& coder) {
  for (const Method& method : kMethods) {
    if (method.id != coder.MethodID) continue;
    if (coder.NumStreams != method.streams || coder.PropsSize > 7 ||
        !(method.props_sizes & (1 << coder.PropsSize))) {
      return nullptr;
    }
    return &method;
  }
  return nullptr;
}

// The folder's coders, bonds and pack streams as the database keeps them;
// false for a record the database would not have accepted.
bool ParseFolder(const CSzAr& db, uint32_t folder, CSzFolder* parsed,
                 const Byte** coder_data) {
  if (folder >= db.NumFolders) return false;
  CSzData data;
  data.Data = db.CodersData + db.FoCodersOffsets[folder];
  data.Size = db.FoCodersOffsets[folder + 1] - db.FoCodersOffsets[folder];
  *coder_data = data.Data;
  return SzGetNextFolderItem(parsed, &data) == SZ_OK;
}

// The index of |coder|'s first input stream among the folder's streams.
uint32_t FirstStreamOf(const CSzFolder& folder, uint32_t coder) {
  uint32_t first = 0;
  for (uint32_t i = 0; i < coder; ++i) first += folder.Coders[i].NumStreams;
  return first;
}

// Reads until |*size| bytes are there or |stream| ends.
SRes ReadFully(const ISeekInStream* stream, Byte* buffer, size_t* size) {
  size_t done = 0;
  while (done < *size) {
    size_t chunk = *size - done;
    const SRes result = ISeekInStream_Read(stream, buffer + done, &chunk);
    if (result != SZ_OK) {
      *size = done;
      return result;
    }
    if (chunk == 0) break;
    done += chunk;
  }
  *size = done;
  return SZ_OK;
}

// A buffer from the SDK's allocator.
class Buffer {
 public:
  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() {
    if (data_) ISzAlloc_Free(alloc_, data_);
  }
  bool Allocate(const ISzAlloc* alloc, size_t size) {
    alloc_ = alloc;
    data_ = static_cast<Byte*>(ISzAlloc_Alloc(alloc, size));
    size_ = data_ ? size : 0;
    return data_ != nullptr;
  }
  Byte* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  const ISzAlloc* alloc_ = nullptr;
  Byte* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace

// Every source produces exactly its size unless its input ends early; a
// short count means the end.
class SevenZipFolderDecoder::Source {
 public:
  explicit Source(uint64_t size) : remaining_(size) {}
  Source(const Source&) = delete;
  Source& operator=(const Source&) = delete;
  virtual ~Source() = default;

  virtual SRes Init(const ISzAlloc* alloc) { return SZ_OK; }

  // Fills |*size| bytes unless the stream ends first; |*size| becomes the
  // count.
  SRes Read(Byte* buffer, size_t* size) {
    *size = static_cast<size_t>(std::min<uint64_t>(*size, remaining_));
    if (*size == 0) return SZ_OK;
    const size_t asked = *size;
    const SRes result = Produce(buffer, size);
    remaining_ -= *size;
    if (result == SZ_OK && *size < asked) return SZ_ERROR_INPUT_EOF;
    return result;
  }

 protected:
  // Fills exactly |*size| bytes (never more than what remains) or fails.
  virtual SRes Produce(Byte* buffer, size_t* size) = 0;

  uint64_t remaining() const { return remaining_; }

 private:
  uint64_t remaining_;
};

namespace {

using Source = SevenZipFolderDecoder::Source;

// One pack stream: a range of the archive file. Several may be read in
// turn, from two threads, so each read seeks to its own position first,
// under the lock that all pack streams of the block share.
class PackSource : public Source {
 public:
  PackSource(const ISeekInStream* stream, base::Lock* stream_lock,
             uint64_t offset, uint64_t size)
      : Source(size),
        stream_(stream),
        stream_lock_(stream_lock),
        offset_(offset) {}

 private:
  SRes Produce(Byte* buffer, size_t* size) override {
    if (offset_ > static_cast<uint64_t>(std::numeric_limits<Int64>::max()))
      return SZ_ERROR_INPUT_EOF;
    base::AutoLock lock(*stream_lock_);
    Int64 position = static_cast<Int64>(offset_);
    SRes result = ISeekInStream_Seek(stream_, &position, SZ_SEEK_SET);
    if (result != SZ_OK) return result;
    const size_t asked = *size;
    result = ReadFully(stream_, buffer, size);
    offset_ += *size;
    if (result == SZ_OK && *size < asked) return SZ_ERROR_INPUT_EOF;
    return result;
  }

  const ISeekInStream* const stream_;
  base::Lock* const stream_lock_;
  uint64_t offset_;
};

class CopySource : public Source {
 public:
  CopySource(Source* input, uint64_t size) : Source(size), input_(input) {}

 private:
  SRes Produce(Byte* buffer, size_t* size) override {
    return input_->Read(buffer, size);
  }

  Source* const input_;
};

// What an LZMA or LZMA2 decoder reads from.
class InputWindow {
 public:
  bool Allocate(const ISzAlloc* alloc) {
    return buffer_.Allocate(alloc, kCoderInputSize);
  }
  // Refills when everything was taken; false at the input's end.
  SRes Fill(Source* input, bool* has_data) {
    if (position_ == length_) {
      length_ = buffer_.size();
      position_ = 0;
      const SRes result = input->Read(buffer_.data(), &length_);
      // The input's own end is not an error here: the decoder decides.
      if (result != SZ_OK && result != SZ_ERROR_INPUT_EOF) return result;
    }
    *has_data = position_ < length_;
    return SZ_OK;
  }
  const Byte* data() const { return buffer_.data() + position_; }
  size_t available() const { return length_ - position_; }
  void Consume(size_t count) { position_ += count; }

 private:
  Buffer buffer_;
  size_t position_ = 0;
  size_t length_ = 0;
};

// LZMA and LZMA2 differ only in their state and two calls.
template <typename Traits>
class LzmaFamilySource : public Source {
 public:
  LzmaFamilySource(Source* input, const Byte* props, unsigned props_size,
                   uint64_t size)
      : Source(size), input_(input), props_(props), props_size_(props_size) {
    Traits::Construct(&state_);
  }
  ~LzmaFamilySource() override {
    if (alloc_) Traits::Free(&state_, alloc_);
  }

  SRes Init(const ISzAlloc* alloc) override {
    alloc_ = alloc;
    if (!input_window_.Allocate(alloc)) return SZ_ERROR_MEM;
    const SRes result =
        Traits::Allocate(&state_, props_, props_size_, remaining(), alloc);
    if (result != SZ_OK) return result;
    Traits::Init(&state_);
    return SZ_OK;
  }

 private:
  SRes Produce(Byte* buffer, size_t* size) override {
    const size_t wanted = *size;
    size_t done = 0;
    while (done < wanted) {
      bool has_data = false;
      SRes result = input_window_.Fill(input_, &has_data);
      if (result != SZ_OK) break;
      SizeT out = wanted - done;
      SizeT in = input_window_.available();
      // The last bytes of this coder's output end its stream.
      const ELzmaFinishMode finish =
          out == remaining() - done ? LZMA_FINISH_END : LZMA_FINISH_ANY;
      ELzmaStatus status;
      result = Traits::Decode(&state_, buffer + done, &out,
                              input_window_.data(), &in, finish, &status);
      input_window_.Consume(in);
      done += out;
      if (result != SZ_OK) {
        *size = done;
        return result;
      }
      if (done == wanted) break;
      // An end mark before the size the archive gives, or no progress.
      if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
        *size = done;
        return SZ_ERROR_DATA;
      }
      if (out == 0 && in == 0) {
        *size = done;
        return has_data ? SZ_ERROR_DATA : SZ_ERROR_INPUT_EOF;
      }
    }
    *size = done;
    return SZ_OK;
  }

  Source* const input_;
  const Byte* const props_;
  const unsigned props_size_;
  const ISzAlloc* alloc_ = nullptr;
  InputWindow input_window_;
  typename Traits::State state_;
};

// A dictionary never larger than the whole output: small streams of a
// large-dictionary archive take little memory. The decoder refuses any
// distance beyond what it has decoded, so the smaller buffer is safe.
struct LzmaTraits {
  using State = CLzmaDec;
  static void Construct(State* state) { LzmaDec_Construct(state); }
  static void Free(State* state, const ISzAlloc* alloc) {
    LzmaDec_Free(state, alloc);
  }
  static SRes Allocate(State* state, const Byte* props, unsigned props_size,
                       uint64_t size, const ISzAlloc* alloc) {
    if (props_size != LZMA_PROPS_SIZE) return SZ_ERROR_UNSUPPORTED;
    Byte capped[LZMA_PROPS_SIZE];
    memcpy(capped, props, sizeof(capped));
    const uint32_t dictionary = LoadLittleEndian32(props + 1);
    if (size < dictionary)
      StoreLittleEndian32(capped + 1, static_cast<uint32_t>(size));
    return LzmaDec_Allocate(state, capped, LZMA_PROPS_SIZE, alloc);
  }
  static void Init(State* state) { LzmaDec_Init(state); }
  static SRes Decode(State* state, Byte* out, SizeT* out_size, const Byte* in,
                     SizeT* in_size, ELzmaFinishMode finish,
                     ELzmaStatus* status) {
    return LzmaDec_DecodeToBuf(state, out, out_size, in, in_size, finish,
                               status);
  }
};

struct Lzma2Traits {
  using State = CLzma2Dec;
  static void Construct(State* state) { Lzma2Dec_Construct(state); }
  static void Free(State* state, const ISzAlloc* alloc) {
    Lzma2Dec_Free(state, alloc);
  }
  static uint64_t DictionarySize(Byte property) {
    if (property == kMaxLzma2Property) return 0xffffffff;
    return uint64_t{2u | (property & 1u)} << (property / 2 + 11);
  }
  static SRes Allocate(State* state, const Byte* props, unsigned props_size,
                       uint64_t size, const ISzAlloc* alloc) {
    if (props_size != 1 || props[0] > kMaxLzma2Property)
      return SZ_ERROR_UNSUPPORTED;
    Byte property = props[0];
    while (property > 0 && DictionarySize(property - 1) >= size) --property;
    return Lzma2Dec_Allocate(state, property, alloc);
  }
  static void Init(State* state) { Lzma2Dec_Init(state); }
  static SRes Decode(State* state, Byte* out, SizeT* out_size, const Byte* in,
                     SizeT* in_size, ELzmaFinishMode finish,
                     ELzmaStatus* status) {
    return Lzma2Dec_DecodeToBuf(state, out, out_size, in, in_size, finish,
                                status);
  }
};

// A branch converter or Delta over its input, converted a buffer at a
// time. The converters leave the last few bytes of a buffer for the next
// call (an instruction may continue there); at the input's end those stay
// as they are, as the encoder left them.
class FilterSource : public Source {
 public:
  FilterSource(Source* input, const Method& method, const Byte* props,
               unsigned props_size, uint64_t size)
      : Source(size),
        input_(input),
        method_(method),
        props_(props),
        props_size_(props_size) {}

  SRes Init(const ISzAlloc* alloc) override {
    if (method_.id == kDelta) {
      delta_ = props_[0] + 1u;
      Delta_Init(delta_state_);
    } else if (props_size_ == 4) {
      pc_ = LoadLittleEndian32(props_);
      if (pc_ % method_.alignment) return SZ_ERROR_UNSUPPORTED;
    }
    return buffer_.Allocate(alloc, kFilterBufferSize) ? SZ_OK : SZ_ERROR_MEM;
  }

 private:
  SRes Produce(Byte* out, size_t* size) override {
    const size_t wanted = *size;
    size_t done = 0;
    while (done < wanted) {
      if (start_ < converted_) {
        const size_t count = std::min(converted_ - start_, wanted - done);
        memcpy(out + done, buffer_.data() + start_, count);
        start_ += count;
        done += count;
        continue;
      }
      if (input_ended_ && start_ == end_) break;
      const SRes result = Refill();
      if (result != SZ_OK) {
        *size = done;
        return result;
      }
    }
    *size = done;
    return SZ_OK;
  }

  // Moves what was left unconverted to the front, reads more behind it and
  // converts what can be.
  SRes Refill() {
    Byte* const data = buffer_.data();
    memmove(data, data + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
    if (!input_ended_) {
      size_t count = buffer_.size() - end_;
      const SRes result = input_->Read(data + end_, &count);
      if (result != SZ_OK && result != SZ_ERROR_INPUT_EOF) return result;
      if (result == SZ_ERROR_INPUT_EOF || end_ + count < buffer_.size())
        input_ended_ = true;
      end_ += count;
    }
    if (method_.id == kDelta) {
      Delta_Decode(delta_state_, delta_, data, end_);
      converted_ = end_;
      return SZ_OK;
    }
    Byte* processed_end;
    if (method_.id == kX86) {
      processed_end = z7_BranchConvSt_X86_Dec(data, end_, pc_, &x86_state_);
    } else {
      processed_end = method_.branch(data, end_, pc_);
    }
    const size_t processed = static_cast<size_t>(processed_end - data);
    pc_ += static_cast<UInt32>(processed);
    converted_ = input_ended_ ? end_ : processed;
    // A full buffer always holds a whole instruction.
    if (converted_ == 0 && end_ == buffer_.size()) return SZ_ERROR_FAIL;
    return SZ_OK;
  }

  Source* const input_;
  const Method& method_;
  const Byte* const props_;
  const unsigned props_size_;
  Buffer buffer_;
  // [start_, converted_) is ready, [converted_, end_) waits for more input.
  size_t start_ = 0;
  size_t converted_ = 0;
  size_t end_ = 0;
  bool input_ended_ = false;
  UInt32 pc_ = 0;
  UInt32 x86_state_ = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
  unsigned delta_ = 1;
  Byte delta_state_[DELTA_STATE_SIZE] = {};
};

// BCJ2: the main stream with calls and jumps taken out into two streams of
// 32-bit addresses, and a range-coded stream that tells which branches
// were taken out.
class Bcj2Source : public Source {
 public:
  Bcj2Source(Source* const inputs[BCJ2_NUM_STREAMS], uint64_t size)
      : Source(size) {
    for (int i = 0; i < BCJ2_NUM_STREAMS; ++i) inputs_[i] = inputs[i];
  }

  SRes Init(const ISzAlloc* alloc) override {
    for (int i = 0; i < BCJ2_NUM_STREAMS; ++i) {
      const size_t size =
          i == BCJ2_STREAM_MAIN ? kCoderInputSize : kBcj2SideInputSize;
      if (!buffers_[i].Allocate(alloc, size)) return SZ_ERROR_MEM;
    }
    Bcj2Dec_Init(&state_);
    for (int i = 0; i < BCJ2_NUM_STREAMS; ++i)
      state_.bufs[i] = state_.lims[i] = buffers_[i].data();
    return SZ_OK;
  }

 private:
  SRes Produce(Byte* out, size_t* size) override {
    state_.dest = out;
    state_.destLim = out + *size;
    while (state_.dest != state_.destLim) {
      if (Bcj2Dec_Decode(&state_) != SZ_OK) return Stop(out, size);
      if (state_.dest == state_.destLim) break;
      // The decoder stopped for input of the stream its state names.
      const unsigned stream = state_.state;
      if (stream >= BCJ2_NUM_STREAMS) return Stop(out, size);
      size_t count = buffers_[stream].size();
      const SRes result =
          inputs_[stream]->Read(buffers_[stream].data(), &count);
      if (result != SZ_OK && result != SZ_ERROR_INPUT_EOF) {
        *size = static_cast<size_t>(state_.dest - out);
        return result;
      }
      // Addresses come whole; a stream that ends before the output does is
      // damaged.
      if (BCJ2_IS_32BIT_STREAM(stream)) count &= ~size_t{3};
      if (count == 0) return Stop(out, size);
      state_.bufs[stream] = buffers_[stream].data();
      state_.lims[stream] = buffers_[stream].data() + count;
    }
    return SZ_OK;
  }

  SRes Stop(Byte* out, size_t* size) {
    *size = static_cast<size_t>(state_.dest - out);
    return SZ_ERROR_DATA;
  }

  Source* inputs_[BCJ2_NUM_STREAMS];
  Buffer buffers_[BCJ2_NUM_STREAMS];
  CBcj2Dec state_;
};

// Runs |input| on a thread of its own ("Unpack decoder"), up to a few
// buffers ahead of its reader, so that the main LZMA stream decodes while
// the filters above it, the CRCs and the caller's writes go on. Without a
// thread the input is read in turn.
class ThreadedSource : public Source {
 public:
  ThreadedSource(Source* input, uint64_t size)
      : Source(size), input_(input), changed_(&lock_) {}
  ~ThreadedSource() override {
    if (!thread_) return;
    {
      base::AutoLock lock(lock_);
      stopping_ = true;
      changed_.Broadcast();
    }
    thread_->Join();
  }

  SRes Init(const ISzAlloc* alloc) override {
    for (Buffer& buffer : buffers_) {
      if (!buffer.Allocate(alloc, kThreadedBufferSize)) return SZ_ERROR_MEM;
    }
    thread_ = std::make_unique<Producer>(this);
    if (!thread_->Start()) thread_.reset();
    return SZ_OK;
  }

 private:
  class Producer : public base::SimpleThread {
   public:
    explicit Producer(ThreadedSource* owner)
        : base::SimpleThread("Unpack decoder"), owner_(owner) {}
    void Run() override { owner_->RunProducer(); }

   private:
    ThreadedSource* const owner_;
  };

  // A buffer the producer filled: its bytes, and how its read ended.
  struct Filled {
    size_t length = 0;
    SRes result = SZ_OK;
  };

  // The producer's loop: fills the free buffers in turn until the input
  // ends or fails.
  void RunProducer() {
    for (int next = 0;; next = (next + 1) % kThreadedBuffers) {
      {
        base::AutoLock lock(lock_);
        while (ready_count_ == kThreadedBuffers && !stopping_) changed_.Wait();
        if (stopping_) return;
      }
      size_t length = kThreadedBufferSize;
      const SRes result = input_->Read(buffers_[next].data(), &length);
      base::AutoLock lock(lock_);
      filled_[next] = {length, result};
      ++ready_count_;
      changed_.Broadcast();
      if (result != SZ_OK || length < kThreadedBufferSize) return;
    }
  }

  SRes Produce(Byte* out, size_t* size) override {
    if (!thread_) return input_->Read(out, size);
    const size_t wanted = *size;
    size_t done = 0;
    while (done < wanted) {
      Filled filled;
      {
        base::AutoLock lock(lock_);
        while (ready_count_ == 0) changed_.Wait();
        filled = filled_[reading_];
      }
      const size_t count = std::min(filled.length - offset_, wanted - done);
      memcpy(out + done, buffers_[reading_].data() + offset_, count);
      done += count;
      offset_ += count;
      if (offset_ < filled.length) continue;
      // The producer's last buffer: its end or its failure is the stream's.
      if (filled.result != SZ_OK || filled.length < kThreadedBufferSize) {
        *size = done;
        return filled.result;
      }
      offset_ = 0;
      reading_ = (reading_ + 1) % kThreadedBuffers;
      base::AutoLock lock(lock_);
      --ready_count_;
      changed_.Broadcast();
    }
    *size = done;
    return SZ_OK;
  }

  Source* const input_;
  Buffer buffers_[kThreadedBuffers];
  std::unique_ptr<Producer> thread_;
  base::Lock lock_;
  base::ConditionVariable changed_;
  // Guarded by lock_.
  Filled filled_[kThreadedBuffers];
  int ready_count_ = 0;
  bool stopping_ = false;
  // The reader's own: the buffer it reads and where.
  int reading_ = 0;
  size_t offset_ = 0;
};

// Builds the chain below |coder|; every coder is used once at most.
class ChainBuilder {
 public:
  ChainBuilder(const CSzAr& db, uint32_t folder_index, const CSzFolder& folder,
               const Byte* coder_data, const ISeekInStream* stream,
               base::Lock* stream_lock, uint64_t data_position,
               std::vector<std::unique_ptr<Source>>* sources)
      : db_(db),
        folder_index_(folder_index),
        folder_(folder),
        coder_data_(coder_data),
        stream_(stream),
        stream_lock_(stream_lock),
        data_position_(data_position),
        sources_(sources) {
    // The largest LZMA stream gets a thread of its own, when it is large.
    uint64_t largest = kThreadedCoderMinSize - 1;
    for (uint32_t i = 0; i < folder_.NumCoders; ++i) {
      const UInt32 id = folder_.Coders[i].MethodID;
      const uint64_t size =
          db_.CoderUnpackSizes[db_.FoToCoderUnpackSizes[folder_index_] + i];
      if ((id == kLzma || id == kLzma2) && size > largest) {
        largest = size;
        threaded_coder_ = i;
      }
    }
  }

  // Null when the chain is not one the decoder knows. With |dry_run| only
  // the shape is checked and nothing is made.
  Source* Build(uint32_t coder, bool dry_run) {
    if (coder >= folder_.NumCoders || (used_ & (1u << coder))) return nullptr;
    used_ |= 1u << coder;
    const CSzCoderInfo& info = folder_.Coders[coder];
    const Method* method = FindMethod(info);
    if (!method) return nullptr;
    Source* inputs[BCJ2_NUM_STREAMS] = {};
    const uint32_t first = FirstStreamOf(folder_, coder);
    for (uint32_t i = 0; i < method->streams; ++i) {
      inputs[i] = BuildInput(first + i, dry_run);
      if (!inputs[i]) return nullptr;
    }
    if (dry_run) return &placeholder_;
    const uint64_t size =
        db_.CoderUnpackSizes[db_.FoToCoderUnpackSizes[folder_index_] + coder];
    const Byte* props = coder_data_ + info.PropsOffset;
    std::unique_ptr<Source> source;
    switch (method->id) {
      case kCopy:
        source = std::make_unique<CopySource>(inputs[0], size);
        break;
      case kLzma:
        source = std::make_unique<LzmaFamilySource<LzmaTraits>>(
            inputs[0], props, info.PropsSize, size);
        break;
      case kLzma2:
        source = std::make_unique<LzmaFamilySource<Lzma2Traits>>(
            inputs[0], props, info.PropsSize, size);
        break;
      case kBcj2:
        source = std::make_unique<Bcj2Source>(inputs, size);
        break;
      default:
        source = std::make_unique<FilterSource>(inputs[0], *method, props,
                                                info.PropsSize, size);
        break;
    }
    sources_->push_back(std::move(source));
    if (coder == threaded_coder_) {
      sources_->push_back(
          std::make_unique<ThreadedSource>(sources_->back().get(), size));
    }
    return sources_->back().get();
  }

 private:
  // A bond from another coder's output, or a pack stream.
  Source* BuildInput(uint32_t stream, bool dry_run) {
    for (uint32_t i = 0; i < folder_.NumBonds; ++i) {
      if (folder_.Bonds[i].InIndex == stream)
        return Build(folder_.Bonds[i].OutIndex, dry_run);
    }
    for (uint32_t i = 0; i < folder_.NumPackStreams; ++i) {
      if (folder_.PackStreams[i] != stream) continue;
      if (dry_run) return &placeholder_;
      const uint32_t pack = db_.FoStartPackStreamIndex[folder_index_] + i;
      const uint64_t offset = data_position_ + db_.PackPositions[pack];
      const uint64_t size =
          db_.PackPositions[pack + 1] - db_.PackPositions[pack];
      sources_->push_back(
          std::make_unique<PackSource>(stream_, stream_lock_, offset, size));
      return sources_->back().get();
    }
    return nullptr;
  }

  const CSzAr& db_;
  const uint32_t folder_index_;
  const CSzFolder& folder_;
  const Byte* const coder_data_;
  const ISeekInStream* const stream_;
  base::Lock* const stream_lock_;
  const uint64_t data_position_;
  std::vector<std::unique_ptr<Source>>* const sources_;
  uint32_t used_ = 0;
  uint32_t threaded_coder_ = UINT32_MAX;
  CopySource placeholder_{nullptr, 0};
};

}  // namespace

// static
bool SevenZipFolderDecoder::IsStreamable(const CSzArEx& archive,
                                         uint32_t folder) {
  CSzFolder parsed;
  const Byte* coder_data = nullptr;
  if (!ParseFolder(archive.db, folder, &parsed, &coder_data)) return false;
  ChainBuilder builder(archive.db, folder, parsed, coder_data, nullptr, nullptr,
                       0, nullptr);
  return builder.Build(parsed.UnpackStream, true) != nullptr;
}

SevenZipFolderDecoder::SevenZipFolderDecoder(const ISeekInStream* stream,
                                             const CSzArEx* archive,
                                             uint32_t folder,
                                             const ISzAlloc* alloc)
    : stream_(stream), archive_(archive), folder_(folder), alloc_(alloc) {}

// Each source goes before those it reads from: a thread that decodes one
// stops before its input is gone.
SevenZipFolderDecoder::~SevenZipFolderDecoder() {
  while (!sources_.empty()) sources_.pop_back();
}

SRes SevenZipFolderDecoder::Init() {
  CSzFolder parsed;
  const Byte* coder_data = nullptr;
  if (!ParseFolder(archive_->db, folder_, &parsed, &coder_data))
    return error_ = SZ_ERROR_UNSUPPORTED;
  ChainBuilder builder(archive_->db, folder_, parsed, coder_data, stream_,
                       &stream_lock_, archive_->dataPos, &sources_);
  output_ = builder.Build(parsed.UnpackStream, false);
  if (!output_) return error_ = SZ_ERROR_UNSUPPORTED;
  for (const std::unique_ptr<Source>& source : sources_) {
    const SRes result = source->Init(alloc_);
    if (result != SZ_OK) return error_ = result;
  }
  size_ = SzAr_GetFolderUnpackSize(&archive_->db, folder_);
  check_crc_ = SzBitWithVals_Check(&archive_->db.FolderCRCs, folder_);
  crc_ = CRC_INIT_VAL;
  return SZ_OK;
}

SRes SevenZipFolderDecoder::Read(uint8_t* buffer, size_t* size) {
  if (error_ != SZ_OK || !output_) {
    *size = 0;
    return error_ != SZ_OK ? error_ : SZ_ERROR_FAIL;
  }
  const size_t asked =
      static_cast<size_t>(std::min<uint64_t>(*size, size_ - position_));
  size_t count = asked;
  const SRes result = output_->Read(buffer, &count);
  crc_ = CrcUpdate(crc_, buffer, count);
  position_ += count;
  *size = count;
  if (result != SZ_OK) return error_ = result;
  if (count < asked) return error_ = SZ_ERROR_INPUT_EOF;
  if (position_ == size_ && check_crc_ &&
      CRC_GET_DIGEST(crc_) != archive_->db.FolderCRCs.Vals[folder_]) {
    return error_ = SZ_ERROR_CRC;
  }
  return SZ_OK;
}

}  // namespace installer
