#pragma once
// Texts and lists that the window shows, beside its layout. UTF-8.

#include <array>
#include <string_view>

namespace snapwick {

// The quality list, top to bottom.
constexpr std::array<std::string_view, 10> kQualityList{"100", "90", "80", "70", "60",
                                                        "50",  "40", "30", "20", "10"};

// The title set at start-up, before the hotkey's name is added.
constexpr std::string_view kTitleText = "Snapwick 1.1";
// The application's name, as the message box's title.
constexpr std::string_view kAppName = "Snapwick";
// Shown by the tray icon. Twenty characters, filled with spaces: the tip's
// fixed length.
constexpr std::string_view kTrayTip = " Snapwick           ";
constexpr std::string_view kPublisherPage = "https://kelmont.example/snapwick";

}  // namespace snapwick
