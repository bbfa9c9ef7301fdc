#include "FrameMontage.h"

#include "JpegEncoder.h"
#include "RgbCanvas.h"
#include "StillDecoder.h"

#include <cmath>

namespace FrameMontage {

namespace {

// The cells together always cover 1280 × 720, so the montage stays about one HD frame in size
// whatever the frame count; only the cells shrink.
constexpr double pixelBudget = 1280.0 * 720.0;
constexpr double cellAspect = 16.0 / 9.0;
constexpr int gap = 6;

int columnsFor(int count)
{
    if (count == 2)
        return 2;
    return count <= 4 ? 2 : 3;
}

// The picture fitted into the cell with its aspect kept, centred; coordinates may be fractional.
QRectF fitted(const QImage &picture, const QRectF &cell)
{
    if (picture.width() < 1 || picture.height() < 1)
        return cell;
    const double scale = std::min(cell.width() / picture.width(), cell.height() / picture.height());
    QRectF target(0, 0, picture.width() * scale, picture.height() * scale);
    target.moveCenter(cell.center());
    return target;
}

} // namespace

std::optional<Montage> compose(const QList<QByteArray> &frames, double quality)
{
    QList<QImage> pictures;
    for (const QByteArray &frame : frames) {
        if (auto picture = StillDecoder::decodeData(frame))
            pictures.append(std::move(*picture));
    }
    const int n = static_cast<int>(pictures.size());
    if (n == 0)
        return std::nullopt;
    if (n == 1) {
        auto jpeg = JpegEncoder::encode(pictures.first(), quality);
        return jpeg ? std::optional(Montage{std::move(*jpeg), 1, 1, 1}) : std::nullopt;
    }

    const int columns = columnsFor(n);
    const int rows = (n + columns - 1) / columns;
    const double area = pixelBudget / (columns * rows);
    const int cellWidth = static_cast<int>(std::round(std::sqrt(area * cellAspect)));
    const int cellHeight = static_cast<int>(std::round(cellWidth / cellAspect));
    const QSize canvasSize(columns * cellWidth + (columns + 1) * gap, rows * cellHeight + (rows + 1) * gap);

    RgbCanvas canvas(canvasSize);
    if (canvas.isNull())
        return std::nullopt;
    canvas.fill(Qt::black);
    for (int k = 0; k < n; ++k) {
        const int row = k / columns, column = k % columns;
        const QRectF cell(gap + column * (cellWidth + gap), gap + row * (cellHeight + gap), cellWidth, cellHeight);
        canvas.draw(pictures[k], fitted(pictures[k], cell));
    }
    auto jpeg = JpegEncoder::encode(canvas.image(), quality);
    if (!jpeg)
        return std::nullopt;
    return Montage{std::move(*jpeg), columns, rows, n};
}

} // namespace FrameMontage
