#pragma once

#include <memory>

#include "PWWidget.h"
#include "SBApplication.h"

class VLViewController;

// The widget: finds Clear (or Clear+), titles and colours itself after
// Clear's theme, and shows the add-item form. When neither app is installed
// it tells the user and asks to be dismissed, but still sets itself up
// (default palette, form pushed), since the host decides what a dismissal
// does. Main thread only.
class VLWidget : public PWWidget {
public:
    // Finds Clear, titles the widget "Clear" and sets the bar colours from
    // Clear's theme (the default palette without Clear).
    void configure() override;
    // Finds Clear, then creates the add-item form and pushes it, unanimated.
    void load() override;
    // Clear's data sits in protected storage: always true.
    bool requiresProtectedDataAccess() const override;

    // Looks Clear, then Clear+, up in SpringBoard's registry until one is
    // found; from then on it asks nothing more. Without either app: shows the
    // install message and asks for dismissal, every time it is called.
    void setupAppIfNeeded();

private:
    std::shared_ptr<SBApplication> _clearApp;
    std::shared_ptr<VLViewController> _viewController;
};
