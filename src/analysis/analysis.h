// What one raw mouse record means for the buttons and the wheel, printed as report lines.
#pragma once

#include <cstdint>

// Stamps and reports a lone press or release of the five standard buttons, and fast clicks.
// buttonWord: usButtonFlags in the low 16 bits, usButtonData in the high 16 bits.
void AnalyseButtons(uint32_t buttonWord);

// Stamps and reports a vertical wheel record of at least one notch, warning on fast turns.
void AnalyseWheel(uint16_t usButtonFlags, uint16_t usButtonData);
