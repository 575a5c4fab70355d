// The laws that turn the controls into what the editor shows: grams of
// tracking force, the arm's resonance in Hz, its damping factor and the
// cartridge's response in Hz. The simulation computes its shown values with
// them, and the faces compute the texts a host shows from them, so a host's
// automation lane names what the editor names.
#pragma once

#include "runtime/EffectValue.h"

namespace tonarvo::laws {

using plexa::sanitize;

inline double trackingForceGrams(double slewLimitDb) { return sanitize(slewLimitDb / 22 + 0.9); }
inline double armStiffness(double armResonance) { return sanitize(2.1 * armResonance + 51.400001); }
inline double resonanceShownHz(double stiffness) { return sanitize((10 + stiffness) * 0.9); }
inline double armDamping(double dampingControl) { return sanitize((0.20834 * dampingControl + 5.9) * 0.005); }
inline double dampingShown(double damping) { return sanitize(222.2 * damping); }
inline double cartridgeShownHz(double response) { return sanitize(18250 * response + 12950); }

}  // namespace tonarvo::laws
