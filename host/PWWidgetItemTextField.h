#pragma once

#include "HostExport.h"
#include "PWWidgetItem.h"

// A one-line text item; its value is a string.
class HOST_API PWWidgetItemTextField : public PWWidgetItem {};
