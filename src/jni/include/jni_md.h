#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

// Machine-dependent JNI definitions for the library's Windows targets and for
// the host build that runs its unit tests. The JDK's jni.h includes this file
// in place of its own platform directory.

// Empty on purpose: the module-definition file exports every entry point under
// exactly its JNI name, and __declspec(dllexport) would add a second name.
#ifndef JNIEXPORT
#define JNIEXPORT
#endif
#define JNIIMPORT

// The JVM calls native methods with stdcall on 32-bit Windows; the x64 and
// host compilers ignore or lack the attribute, so it is spelled only there.
#ifdef _WIN32
#define JNICALL __stdcall
#else
#define JNICALL
#endif

typedef int jint;  // 32 bits on every target
typedef long long jlong;
typedef signed char jbyte;

#endif
