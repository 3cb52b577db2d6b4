#pragma once

// The symbols a widget bundle's executable exports for the host.
//
// A widget bundle is a directory `<Name>.widget/` holding:
//   Info.plist   CFBundleExecutable  file name of the executable (required)
//                NSPrincipalClass    name of the widget's PWWidgetClass (required)
//                PWInfoType          "widget" (required)
//                PWInfoDisplayName   the name users see (optional)
//   <executable> a shared library exporting the symbols below
//   *.plist      item layouts, read by PWContentItemViewController::loadPlist
//
// The host dlopens the executable (RTLD_NOW | RTLD_LOCAL), looks up each
// symbol, and refuses the bundle, naming the symbol, when a required one is
// missing. The executable stays loaded for the rest of the process.
//
// Build the executable with hidden visibility and export only these symbols,
// marked PW_WIDGET_EXPORT.

#define PW_WIDGET_EXPORT extern "C" __attribute__((visibility("default")))

// The interface version this header describes.
#define PW_WIDGET_INTERFACE_VERSION 1

// Required. Called once after the executable is loaded, before the host looks
// up the principal class: registers every class of the bundle the host may
// need by name (the principal PWWidgetClass, and any PWWidgetItemClass an
// item layout names) with objc_registerClass. Returns false when the bundle
// cannot run; the host then refuses it. May be called again if the same
// executable is loaded again; registering the same classes twice is harmless.
//     PW_WIDGET_EXPORT bool PWWidgetBundleLoad(void);
using PWWidgetBundleLoadFunction = bool (*)();
#define PW_WIDGET_BUNDLE_LOAD_SYMBOL "PWWidgetBundleLoad"

// Optional. The PW_WIDGET_INTERFACE_VERSION the bundle was built against;
// the host refuses a bundle whose version differs from its own. A bundle
// without it is taken to be of the host's version.
//     PW_WIDGET_EXPORT int PWWidgetBundleInterfaceVersion(void);
using PWWidgetBundleInterfaceVersionFunction = int (*)();
#define PW_WIDGET_BUNDLE_INTERFACE_VERSION_SYMBOL "PWWidgetBundleInterfaceVersion"
