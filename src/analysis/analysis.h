// What one raw mouse record means for the buttons and the wheel, printed as report lines.
#pragma once

#include <cstdint>
#include <optional>

// Stamps and reports a lone press or release of the five standard buttons, and fast clicks.
// buttonWord: usButtonFlags in the low 16 bits, usButtonData in the high 16 bits. reportMs: when
// the device made the report, on the clock's scale, where the platform says so (Linux); the
// stamp is then that time, raised to the latest stamp or seed reading, so that stamps never
// decrease. Without it (Windows) the stamp is a reading of the clock.
void AnalyseButtons(uint32_t buttonWord, std::optional<int64_t> reportMs = std::nullopt);

// Stamps and reports a vertical wheel record of at least one notch, warning on fast turns.
// reportMs as for AnalyseButtons.
void AnalyseWheel(uint16_t usButtonFlags, uint16_t usButtonData, std::optional<int64_t> reportMs = std::nullopt);
