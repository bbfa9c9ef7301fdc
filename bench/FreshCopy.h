#pragma once

// Memory measured in a fresh copy of this benchmark program, where the freed memory that earlier
// benchmarks keep for reuse cannot hide the cost of the work.

#include <QString>

#include <functional>
#include <optional>

namespace Bench::FreshCopy {

struct Memory
{
    long peakKiB = 0;  // resident high-water mark while the work ran
    long startKiB = 0; // resident size before it
};

// In this program: runs a copy that runs only the benchmark named `benchmark`, handing it `input`;
// nothing when the copy failed.
std::optional<Memory> measure(const QString &benchmark, const QString &input);

// In the copy: the input it was handed; nothing in the program that starts copies.
std::optional<QString> input();

// In the copy: restarts the kernel's high-water mark, runs the work, reports the memory and ends
// the copy, failing when the work did.
[[noreturn]] void report(const std::function<bool()> &work);

} // namespace Bench::FreshCopy
