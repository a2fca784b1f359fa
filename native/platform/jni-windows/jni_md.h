// The machine-dependent part of the JNI headers for Windows x86-64, for
// compiling the library with a JDK that is not Windows' own: the JDK's jni.h
// includes this in place of its platform's file. The values are those the JNI
// documentation gives for Windows: exported functions are dllexport'ed and
// use the standard calling convention, jint is 32 bits (long on Windows),
// jlong 64 bits and jbyte signed.
#ifndef GRABKIT_JNI_MD_WINDOWS_H
#define GRABKIT_JNI_MD_WINDOWS_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
