#pragma once

// What every benchmark shares: one scratch folder for the inputs it generates, a way to run the
// command line tools that make those inputs or serve as the yardstick, and a picture to feed them.

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace Bench {

// A path inside this run's temporary folder, which is removed when the program ends. Aborts when
// no such folder can be made: nothing else may be written anywhere.
QString scratchPath(const QString &name);

// Runs a tool to completion with its output discarded. False, with the tool's complaint on
// stderr, when it could not start or did not exit cleanly.
bool runTool(const QString &program, const QStringList &arguments);

// Smooth gradients and soft waves with a little grain, so that encoders and decoders
// work about as hard as on a real photo. The seed varies the noise and tint.
QImage photoLikePicture(QSize size, unsigned seed = 1);

// A figure in KiB from /proc/self/status, such as "VmRSS:" or "VmHWM:"; -1 when it is missing.
long statusKiB(const std::string &field);

// Mean absolute difference per channel (0–255) of two pictures of the same size; -1 otherwise.
double meanDifference(const QImage &a, const QImage &b);

// `count` copies of one file in a scratch folder, each under its own name (IMG_0000 and on, the
// seed's extension), as an import would list them. Copies already there are kept.
QStringList copies(const QString &seed, const QString &folder, int count);

// Turns the main thread's event loop, checking every pollMs, until done() says so.
void waitUntil(const std::function<bool()> &done, int pollMs = 5);

} // namespace Bench
