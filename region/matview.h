#ifndef VELMORA_REGION_MATVIEW_H
#define VELMORA_REGION_MATVIEW_H

#include <opencv2/core.hpp>

#include <QImage>

namespace Region {

// OpenCV works on our own buffers: a header over the image's bytes, no copy. 32-bit images
// give four channels (B, G, R, A in memory), 8-bit ones one.
inline cv::Mat matOf(const QImage &image)
{
    return cv::Mat(image.height(), image.width(), image.depth() == 32 ? CV_8UC4 : CV_8UC1,
                   const_cast<uchar *>(image.constBits()), size_t(image.bytesPerLine()));
}

// The same over an image written through the header; it detaches first, as writes must.
inline cv::Mat matOf(QImage &image)
{
    return cv::Mat(image.height(), image.width(), image.depth() == 32 ? CV_8UC4 : CV_8UC1,
                   image.bits(), size_t(image.bytesPerLine()));
}

} // namespace Region

#endif
