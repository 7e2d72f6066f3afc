// The raw mouse record's button flags and wheel units, as the platform defines them. Portable
// code includes this header; Windows code takes the same names from <windows.h> instead.
#pragma once

#include <cstdint>

// usButtonFlags values.
constexpr uint16_t RI_MOUSE_LEFT_BUTTON_DOWN = 0x0001;
constexpr uint16_t RI_MOUSE_LEFT_BUTTON_UP = 0x0002;
constexpr uint16_t RI_MOUSE_RIGHT_BUTTON_DOWN = 0x0004;
constexpr uint16_t RI_MOUSE_RIGHT_BUTTON_UP = 0x0008;
constexpr uint16_t RI_MOUSE_MIDDLE_BUTTON_DOWN = 0x0010;
constexpr uint16_t RI_MOUSE_MIDDLE_BUTTON_UP = 0x0020;
constexpr uint16_t RI_MOUSE_BUTTON_4_DOWN = 0x0040;
constexpr uint16_t RI_MOUSE_BUTTON_4_UP = 0x0080;
constexpr uint16_t RI_MOUSE_BUTTON_5_DOWN = 0x0100;
constexpr uint16_t RI_MOUSE_BUTTON_5_UP = 0x0200;
constexpr uint16_t RI_MOUSE_WHEEL = 0x0400;
constexpr uint16_t RI_MOUSE_HWHEEL = 0x0800;

// Wheel delta units in one notch (the platform's WHEEL_DELTA).
constexpr int16_t kWheelDeltaPerNotch = 120;
