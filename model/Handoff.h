#pragma once

// Work passed from one producing thread to several consumers in order, with room for a fixed
// number of pieces waiting, so the producer never runs far ahead of them.

#include "CancelFlag.h"

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

template <typename T>
class Handoff
{
public:
    explicit Handoff(qsizetype room)
        : m_room(room)
    {
    }

    // Waits until a piece could be handed over; false once `cancel` is set. For the one producer,
    // before it makes the piece, so at most `room` made pieces wait.
    bool waitForRoom(const CancelFlag &cancel)
    {
        std::unique_lock lock(m_mutex);
        while (qsizetype(m_waiting.size()) >= m_room && !isCancelled(cancel))
            m_changed.wait_for(lock, std::chrono::milliseconds(50));
        return !isCancelled(cancel);
    }

    void put(T piece)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_waiting.push_back(std::move(piece));
        }
        m_changed.notify_all();
    }

    // No more pieces will come.
    void close()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_changed.notify_all();
    }

    // The oldest waiting piece; nothing once closed and empty.
    std::optional<T> take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_waiting.empty() || m_closed; });
        if (m_waiting.empty())
            return std::nullopt;
        T piece = std::move(m_waiting.front());
        m_waiting.pop_front();
        lock.unlock();
        m_changed.notify_all();
        return piece;
    }

private:
    const qsizetype m_room;
    std::deque<T> m_waiting;
    bool m_closed = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
};
