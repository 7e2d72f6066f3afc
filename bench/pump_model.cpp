// A model of the monitor's message pump on a timer of any granularity.
#include "pump_model.h"

#include <cmath>

// Returns the end of the first pass that ends at or after the arrival.
double AnalysedAtMs(const PumpModel& model, double arrivalMs) {
    const double passes = std::ceil((arrivalMs - model.phaseMs) / model.passMs);
    return model.phaseMs + (passes < 0 ? 0 : passes) * model.passMs;
}

// Returns the clock's whole-millisecond reading at a time.
int64_t ClockAtMs(const PumpModel& model, double timeMs) {
    return static_cast<int64_t>(std::floor(timeMs + model.clockOffsetMs));
}
