// The one symbol the module exports. Everything else is hidden
// (-fvisibility=hidden) or has internal linkage.
#pragma once

#if defined(_WIN32)
#define VORSEL_EXPORT extern "C" __declspec(dllexport)
#else
#define VORSEL_EXPORT extern "C" __attribute__((visibility("default")))
#endif
