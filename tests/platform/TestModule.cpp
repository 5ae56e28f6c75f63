// A stand-in for a plug-in module: exports that let the tests look at the
// platform layer as a loaded module sees it.

#include <cstddef>

#include "platform/BuiltinResources.h"

#if defined(_WIN32)
#define TEST_MODULE_EXPORT __declspec(dllexport)
#else
#define TEST_MODULE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" TEST_MODULE_EXPORT int platformTestModuleAnswer() {
    return 42;
}

// The module's own built-in resource, or null.
extern "C" TEST_MODULE_EXPORT const unsigned char* platformTestModuleResource(int type, int id,
                                                                              std::size_t* size) {
    const platform::ResourceBlob blob = platform::findBuiltinResource(type, id);
    *size = blob.size;
    return blob.data;
}
