#ifndef VELMORA_BENCH_RUNSWRITER_H
#define VELMORA_BENCH_RUNSWRITER_H

#include <QImage>

class QIODevice;

// The PNG writer masks were written with before libpng: unfiltered rows deflated as runs of
// one value by code of our own. Kept here only to compare against.
namespace RunsWriter {
bool handles(const QImage &image);
bool write(const QImage &image, QIODevice *device);
} // namespace RunsWriter

#endif
