// Windows virtual-key codes of the keys the list answers: the list offers
// each key to its owner by these codes (VirtualKeyOf), so the commands and
// the menu that names their keys speak the same numbers.
#pragma once

namespace ui {

constexpr int VK_BACK = 8;
constexpr int VK_TAB = 9;
constexpr int VK_RETURN = 13;
constexpr int VK_ESCAPE = 27;
constexpr int VK_SPACE = 32;
constexpr int VK_PRIOR = 33;  // Page Up
constexpr int VK_NEXT = 34;   // Page Down
constexpr int VK_END = 35;
constexpr int VK_HOME = 36;
constexpr int VK_LEFT = 37;
constexpr int VK_UP = 38;
constexpr int VK_RIGHT = 39;
constexpr int VK_DOWN = 40;
constexpr int VK_INSERT = 45;
constexpr int VK_DELETE = 46;
// Letters and digits are their ASCII capitals: 'N', 'P', 'S'.

// The list's answers to an offered key.
constexpr int kKeyHandled = -2;  // dealt with
constexpr int kKeyDefault = -1;  // the list applies its own handling

}  // namespace ui
