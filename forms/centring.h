// The load handler that every form shares: it moves the form to the middle
// of the screen.
#pragma once

#include "form_model.h"

namespace kestrel::forms {

// Sets Left from the widths, then Top from the heights, each (screen − form)
// / 2 in single precision and not rounded. The screen object is taken anew
// for each of its two reads and released after it.
void CentreOnLoad(Form& form, Application& application);

}  // namespace kestrel::forms
