// A deliverable source that reaches around host/: it includes a stand-in's
// header by a path relative to host/ and calls into it. It compiles and links
// with a deliverable's settings; the include check and the import check are
// what must refuse it.
#include "../springboard/Foundation/include/PlistCodec.h"

extern "C" __attribute__((visibility("default"))) bool velmora_boundary_probe_around_host(const char* bytes,
                                                                                          unsigned long length) {
    return springboard::parsePropertyList(bytes, length).has_value();
}
