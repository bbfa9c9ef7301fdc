#pragma once

// Threads that run the same work side by side, for questions sent to a model at once; they are
// joined when the Lanes go, so nothing outlives the run that started them. There is always one.

#include <algorithm>
#include <functional>
#include <thread>
#include <vector>

class Lanes
{
public:
    Lanes(int count, const std::function<void()> &work)
    {
        for (int lane = 0; lane < std::max(1, count); ++lane)
            m_threads.emplace_back(work);
    }

    Lanes(const Lanes &) = delete;
    Lanes &operator=(const Lanes &) = delete;

private:
    std::vector<std::jthread> m_threads;
};
