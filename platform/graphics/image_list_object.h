// The object behind an HIMAGELIST, shared by the image-list functions and their stream form.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "lumivel/raster.h"
#include "win/commctrl.h"

namespace lumivel::gfx {

struct ImageListObject {
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    int grow = 1;
    COLORREF background = CLR_NONE;
    std::vector<Image> images;  // each cx by cy
    mutable std::mutex mutex;
};

// Largest image side and image count a list accepts, so hostile sizes cannot exhaust memory.
inline constexpr int kMaxImageListSide = 256;
inline constexpr size_t kMaxImageListCount = 65536;

std::shared_ptr<ImageListObject> FindImageList(HIMAGELIST handle);  // sets ERROR_INVALID_HANDLE
HIMAGELIST AddImageList(std::shared_ptr<ImageListObject> list);

}  // namespace lumivel::gfx
