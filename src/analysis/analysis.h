// What one raw mouse record means for the buttons and the wheel, printed as report lines.
#pragma once

#include <cstdint>
#include <optional>

// Stamps and reports a lone press or release of the five standard buttons, and fast clicks.
// buttonWord: usButtonFlags in the low 16 bits, usButtonData in the high 16 bits. reportMs: when
// the report was made, on the clock's scale, where the platform says so (Linux: the kernel's
// time; Windows: the time its message was queued, for a report that waited longer than a pass
// explains); the stamp is then that time, raised to the latest stamp or seed reading, so that
// stamps never decrease. Without it the stamp is a reading of the clock.
void AnalyseButtons(uint32_t buttonWord, std::optional<int64_t> reportMs = std::nullopt);

// Stamps and reports a vertical wheel record of at least one notch, warning on fast turns.
// reportMs as for AnalyseButtons.
void AnalyseWheel(uint16_t usButtonFlags, uint16_t usButtonData, std::optional<int64_t> reportMs = std::nullopt);
