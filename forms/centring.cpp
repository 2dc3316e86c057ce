#include "centring.h"

namespace kestrel::forms {

void CentreOnLoad(Form& form, Application& application)
{
    const float formWidth = form.Width();
    const float screenWidth = application.GetScreen()->Width();
    form.SetLeft((screenWidth - formWidth) / 2.0f);

    const float formHeight = form.Height();
    const float screenHeight = application.GetScreen()->Height();
    form.SetTop((screenHeight - formHeight) / 2.0f);
}

}  // namespace kestrel::forms
