// A bounded queue of bytes from one writing thread to one reading thread: what lets a
// member be deflated while its bytes are still being made. The writer hands over whole
// chunks (no copy) and waits while the pipe holds its capacity; the reader takes them as
// an InputStream. Either side can end it early, and the other side learns of it at its next
// call instead of waiting for ever.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "provider/archive/zip_format.h"

namespace revivo::zip {

class BytePipe : public InputStream {
public:
    explicit BytePipe(size_t capacity) : m_capacity(capacity) {}

    // Writer: appends the chunk, waiting while the pipe is full (a chunk always goes into an
    // empty pipe, whatever its size). The chunk comes back empty, with the capacity of a
    // buffer the reader is done with where there is one. False once the reader has stopped.
    bool Push(std::string& chunk);
    // Writer: nothing more follows; the reader reads what is left and then the end.
    void Close();
    // Writer: what was written is not the whole stream; the reader's next Read fails.
    void Abort();

    // Reader: waits for bytes, the end (*read 0) or an abort (false).
    bool Read(void* buffer, size_t capacity, size_t* read) override;
    // Reader: takes nothing more; a waiting or later Push returns false.
    void StopReading();

    // The most bytes the pipe held at once.
    size_t MostHeld() const;

private:
    enum class State { Open, Closed, Aborted, Stopped };

    const size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_chunks;
    std::vector<std::string> m_spare;
    size_t m_offset = 0;  // read from the front chunk
    size_t m_held = 0;
    size_t m_mostHeld = 0;
    State m_state = State::Open;
};

}  // namespace revivo::zip
