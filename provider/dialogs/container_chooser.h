// Dialog 410 "Restore To": the live container a tombstone goes back into, browsed one level at
// a time or typed as a DN.
#pragma once

#include <string>

#include "provider/dialogs/container_browser.h"

namespace revivo {

struct ContainerChoice {
    std::u16string objectName;
    std::u16string className;
    // Where browsing starts from: the tombstone's last known parent (or its nearest live ancestor).
    std::u16string startDn;
};

// S_OK with the container chosen, S_FALSE when the person cancelled.
HRESULT ChooseContainer(HWND parent, const ContainerChoice& choice, ContainerBrowser& browser, std::u16string* chosen);

// What the chooser says while its worker reads a container, and while it checks one.
inline constexpr const char16_t* kChooserReadingText = u"Reading the containers...";
std::u16string ChooserCheckingText(std::u16string_view container, std::u16string_view className);

// What the directory's creation check answered, as a person reads it.
std::u16string CreationVerdictText(std::u16string_view container, std::u16string_view className, HRESULT verdict);

}  // namespace revivo
