#pragma once

#include <atomic>
#include <memory>

// Set from any thread to end every request that holds it; they fail at once as cancelled. For
// work that must stop when its owner goes away.
using CancelFlag = std::shared_ptr<std::atomic<bool>>;

inline CancelFlag makeCancelFlag()
{
    return std::make_shared<std::atomic<bool>>(false);
}

inline bool isCancelled(const CancelFlag &flag)
{
    return flag && *flag;
}
