// The bundle's entry points (PWWidgetEntry.h): the only symbols the
// executable exports.

#include "ObjCRuntime.h"
#include "PWWidget.h"
#include "PWWidgetEntry.h"
#include "PWWidgetItem.h"
#include "VLItemListValue.h"
#include "VLWidget.h"

namespace {

// Function-local, so they exist before the first registration whatever the
// order of static initialisation; they unregister themselves at exit.
PWWidgetClass& widgetClass() {
    static PWWidgetClassOf<VLWidget> cls("VLWidget");
    return cls;
}

PWWidgetItemClass& listItemClass() {
    static PWWidgetItemClassOf<VLItemListValue> cls("VLItemListValue");
    return cls;
}

}  // namespace

PW_WIDGET_EXPORT bool PWWidgetBundleLoad(void) {
    objc_registerClass(&widgetClass());
    objc_registerClass(&listItemClass());
    return true;
}

PW_WIDGET_EXPORT int PWWidgetBundleInterfaceVersion(void) { return PW_WIDGET_INTERFACE_VERSION; }
