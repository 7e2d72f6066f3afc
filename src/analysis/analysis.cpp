// Button and wheel analysis of raw mouse records.
//
// Buttons. One press stamp and one release stamp serve all five buttons of all mice; a record
// counts only when its whole button word is a single down or up flag.
//
//   press   (1) at 1000, latest release  990  -> "Mouse Button:1", fast click (10 ms apart)
//   release (2) at 1015, latest press   1000  -> "Mouse Button:2, 15ms", fast click
//   release (2) at 1016, latest press   1000  -> "Mouse Button:2, 16ms"
//   press   (4) at 1010, latest release 1000  -> "Mouse Button:4", fast click (shared stamps)
//   word 3: down and up in one record         -> no line, stamps kept; fast click if they lie
//                                                15 ms or less apart
//   word 0 (motion), word > 1023 (wheel data, wheel or higher flags) -> nothing
//
// Wheel. Only whole notches count; partial ones are dropped, never added up. The warning looks
// at the previous counted record's stamp against the stamp the pump left after its latest pass.
//
//   delta 119 or -119 -> nothing;  delta 120 or 360 -> one "up" line;  delta -120 -> "down"
//   pump stamp 1000, previous record at 995..1005 -> "wheel too fast!" before the line
//   pump stamp 1000, previous record at 994 or 1006 -> the line alone
//
// Stamps. A record stamps with the time its report was made where the platform gives it, and
// otherwise with the clock when it is analysed. A report's time is never taken below the latest
// stamp or seed reading: the reports of two mice read in one pass, or one queued before the
// seeds, never give an interval below 0.
//
//   latest 1000, report made at 1300 -> 1300;  latest 1000, report made at 990 -> 1000
//   no report time                   -> the clock
#include "analysis/analysis.h"

#include <algorithm>

#include "analysis/raw_mouse.h"
#include "analysis/report.h"
#include "timing/timing.h"

namespace {

constexpr uint32_t kButtonWordMax = 0x03FF;  // every button flag, no wheel flag, no wheel data
constexpr int64_t kFastClickWindowMs = 15;   // inclusive
constexpr int64_t kWheelToleranceMs = 5;     // inclusive, either side of the pump stamp

// Tells whether the word is exactly one button-down flag.
bool IsPress(uint32_t word) {
    return word == RI_MOUSE_LEFT_BUTTON_DOWN || word == RI_MOUSE_RIGHT_BUTTON_DOWN ||
           word == RI_MOUSE_MIDDLE_BUTTON_DOWN || word == RI_MOUSE_BUTTON_4_DOWN ||
           word == RI_MOUSE_BUTTON_5_DOWN;
}

// Tells whether the word is exactly one button-up flag.
bool IsRelease(uint32_t word) {
    return word == RI_MOUSE_LEFT_BUTTON_UP || word == RI_MOUSE_RIGHT_BUTTON_UP ||
           word == RI_MOUSE_MIDDLE_BUTTON_UP || word == RI_MOUSE_BUTTON_4_UP ||
           word == RI_MOUSE_BUTTON_5_UP;
}

// Returns the stamp of the record being analysed, and makes it the latest.
int64_t Stamp(std::optional<int64_t> reportMs) {
    timingState.latestMs = reportMs ? std::max(*reportMs, timingState.latestMs) : NowMs();
    return timingState.latestMs;
}

}  // namespace

// Stamps and reports a lone press or release of the five standard buttons, and fast clicks.
void AnalyseButtons(uint32_t buttonWord, std::optional<int64_t> reportMs) {
    if (buttonWord == 0 || buttonWord > kButtonWordMax) {
        return;
    }
    const int word = static_cast<int>(buttonWord);
    if (IsPress(buttonWord)) {
        timingState.pressMs = Stamp(reportMs);
        PrintLine("Mouse Button:%d\n", word);
    } else if (IsRelease(buttonWord)) {
        const int64_t now = Stamp(reportMs);
        timingState.releaseMs = now;
        PrintLine("Mouse Button:%d, %" MOUSECHECK_PRId64 "ms\n", word, now - timingState.pressMs);
    }
    const int64_t gap = timingState.releaseMs > timingState.pressMs
                            ? timingState.releaseMs - timingState.pressMs
                            : timingState.pressMs - timingState.releaseMs;
    if (gap <= kFastClickWindowMs) {
        PrintLine("Fast-click detected!\n");
    }
}

// Stamps and reports a vertical wheel record of at least one notch, warning on fast turns.
void AnalyseWheel(uint16_t usButtonFlags, uint16_t usButtonData, std::optional<int64_t> reportMs) {
    if ((usButtonFlags & RI_MOUSE_WHEEL) == 0) {
        return;
    }
    const auto delta = static_cast<int16_t>(usButtonData);
    const auto notches = static_cast<int16_t>(delta / kWheelDeltaPerNotch);
    if (notches == 0) {
        return;
    }
    const int64_t previous = timingState.wheelMs;
    if (previous >= timingState.pumpMs - kWheelToleranceMs &&
        previous <= timingState.pumpMs + kWheelToleranceMs) {
        PrintLine("wheel too fast!\n");
    }
    const int64_t now = Stamp(reportMs);
    timingState.wheelMs = now;
    if (notches > 0) {
        PrintLine("wheel check up:%" MOUSECHECK_PRId64 "ms\n", now - previous);
    } else {
        PrintLine("wheel check down:%" MOUSECHECK_PRId64 "ms\n", now - previous);
    }
}
