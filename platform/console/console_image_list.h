// The scope and result image lists a snap-in fills (IImageList): 16- and 32-pixel images kept
// side by side at the same positions.
#pragma once

#include <functional>

#include "lumivel/com_object.h"
#include "win/mmc.h"

namespace lumivel::console {

class ConsoleImageList final : public com::ComObject<ConsoleImageList, IImageList> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<ConsoleImageList, IImageList>(IID_IImageList),
    };

    ConsoleImageList();
    ~ConsoleImageList() override;

    // Called after every change, so the window can redraw its icons.
    void setChanged(std::function<void()> changed) { m_changed = std::move(changed); }

    HRESULT STDMETHODCALLTYPE ImageListSetIcon(LONG_PTR* pIcon, long nLoc) override;
    HRESULT STDMETHODCALLTYPE ImageListSetStrip(LONG_PTR* pBMapSm, LONG_PTR* pBMapLg, long nStartLoc,
                                                COLORREF cMask) override;

    HIMAGELIST small() const { return m_small; }
    HIMAGELIST large() const { return m_large; }
    // Whether the position holds a small image someone set.
    bool hasSmall(int index) const;

private:
    HIMAGELIST m_small;
    HIMAGELIST m_large;
    std::function<void()> m_changed;
};

}  // namespace lumivel::console
