#include "PlainRotate.h"

#include <cstring>

namespace vintrel {

void RotatePixels(const BMPImage& source, BMPImage& destination, double c, double s) {
    const double halfW = static_cast<double>(source.width / 2);
    const double halfH = static_cast<double>(source.height / 2);
    const double limitX = static_cast<double>(source.width);
    const double limitY = static_cast<double>(source.height);
    const int32_t centreX = static_cast<int32_t>(destination.width / 2);
    const int32_t centreY = static_cast<int32_t>(destination.height / 2);
    static const uint8_t white[3] = {255, 255, 255};
    if (!HasPixels(source)) {
        // -1 < v < 0 truncates to 0, which an empty picture does not have.
        std::memset(destination.pixels, 255, 3u * static_cast<size_t>(destination.width) * destination.height);
        return;
    }
    for (uint32_t i = 0; i < destination.height; ++i) {
        const double yd = static_cast<double>(static_cast<int32_t>(i) - centreY);
        for (uint32_t j = 0; j < destination.width; ++j) {
            const double xd = static_cast<double>(static_cast<int32_t>(j) - centreX);
            const double x = (xd * c - yd * s) + halfW;
            const double y = (yd * c + xd * s) + halfH;
            // For limit >= 1, trunc(v) lies in [0, limit) exactly when
            // -1 < v < limit; testing the doubles first keeps every conversion
            // in range.
            const uint8_t* from = white;
            if (x > -1.0 && x < limitX && y > -1.0 && y < limitY)
                from = PixelAt(source, static_cast<uint32_t>(static_cast<int32_t>(x)),
                               static_cast<uint32_t>(static_cast<int32_t>(y)));
            std::memcpy(PixelAt(destination, j, i), from, 3);
        }
    }
}

}  // namespace vintrel
