#include "provider/archive/byte_pipe.h"

#include <algorithm>
#include <cstring>

namespace revivo::zip {

namespace {
// Spare buffers kept for the writer: enough to go round while the pipe is full.
constexpr size_t kMostSpare = 4;
}  // namespace

bool BytePipe::Push(std::string& chunk) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_state != State::Open || m_held == 0 || m_held + chunk.size() <= m_capacity; });
    if (m_state != State::Open) {
        chunk.clear();
        return false;
    }
    if (chunk.empty()) return true;
    m_held += chunk.size();
    m_mostHeld = std::max(m_mostHeld, m_held);
    m_chunks.push_back(std::move(chunk));
    chunk.clear();
    if (!m_spare.empty()) {
        chunk = std::move(m_spare.back());
        m_spare.pop_back();
        chunk.clear();
    }
    lock.unlock();
    m_changed.notify_all();
    return true;
}

void BytePipe::Close() {
    {
        std::lock_guard lock(m_mutex);
        if (m_state == State::Open) m_state = State::Closed;
    }
    m_changed.notify_all();
}

void BytePipe::Abort() {
    {
        std::lock_guard lock(m_mutex);
        if (m_state == State::Open || m_state == State::Closed) m_state = State::Aborted;
    }
    m_changed.notify_all();
}

bool BytePipe::Read(void* buffer, size_t capacity, size_t* read) {
    *read = 0;
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_state != State::Open || !m_chunks.empty(); });
    if (m_state == State::Aborted || m_state == State::Stopped) return false;
    auto out = static_cast<char*>(buffer);
    while (*read < capacity && !m_chunks.empty()) {
        std::string& front = m_chunks.front();
        size_t count = std::min(capacity - *read, front.size() - m_offset);
        std::memcpy(out + *read, front.data() + m_offset, count);
        *read += count;
        m_offset += count;
        m_held -= count;
        if (m_offset == front.size()) {
            if (m_spare.size() < kMostSpare) m_spare.push_back(std::move(front));
            m_chunks.pop_front();
            m_offset = 0;
        }
    }
    lock.unlock();
    m_changed.notify_all();
    return true;
}

void BytePipe::StopReading() {
    {
        std::lock_guard lock(m_mutex);
        m_state = State::Stopped;
        m_chunks.clear();
        m_held = 0;
    }
    m_changed.notify_all();
}

size_t BytePipe::MostHeld() const {
    std::lock_guard lock(m_mutex);
    return m_mostHeld;
}

}  // namespace revivo::zip
