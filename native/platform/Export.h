// How a producer marks the functions it exports. A target may define
// GRABKIT_GENTL_EXPORT itself, e.g. empty when a module-definition file
// chooses its exports instead.
#ifndef GRABKIT_PLATFORM_EXPORT_H
#define GRABKIT_PLATFORM_EXPORT_H

#ifndef GRABKIT_GENTL_EXPORT
#ifdef _WIN32
#define GRABKIT_GENTL_EXPORT __declspec(dllexport)
#else
#define GRABKIT_GENTL_EXPORT __attribute__((visibility("default")))
#endif
#endif

#endif
