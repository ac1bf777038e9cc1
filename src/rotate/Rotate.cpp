#include "rotate/Rotate.h"

#include "bmp/BMPLayout.h"
#include "rotate/RotateFast.h"

namespace vintrel {

void RotateImage(BMPImage* source, BMPImage* destination, int32_t angle) {
    const Turn turn = TurnFor(angle);
    const Canvas canvas = CanvasFor(source->width, source->height, turn.c, turn.s);
    destination->width = canvas.width;
    destination->height = canvas.height;
    destination->pixels = nullptr;
    if (!FileCanStore(canvas.width, canvas.height)) return;
    if (!AttachPixels(*destination) || destination->pixels == nullptr) return;
    // A canvas that could not be finished is one the writer refuses.
    if (!RotatePixelsFast(*source, *destination, turn.c, turn.s, BestKernel())) ReleasePixels(*destination);
}

}  // namespace vintrel
