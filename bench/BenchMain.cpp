#include "DecodeMemory.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

int main(int argc, char **argv)
{
    // As the application does, so that the figures are the ones a user sees.
    keepDecodeBuffersForReuse();
    // Benchmark flags first, so Qt is handed only what is left of the command line.
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // Qt's image plugins and QProcess want an application object.
    QCoreApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
