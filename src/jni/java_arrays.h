#pragma once

#include <jni.h>

namespace vellamoor {

// Holds the elements of a Java array for one native call and releases them
// with mode 0 (copy back, then free) on every path out of it. A null array or
// a JVM that cannot provide the elements leaves the guard empty, which callers
// treat as a failed call instead of dereferencing null inside the JVM.
template <typename Array, typename Element, Element* (JNIEnv::*Get)(Array, jboolean*),
          void (JNIEnv::*Release)(Array, Element*, jint)>
class ArrayElements {
public:
    ArrayElements(JNIEnv* env, Array array)
        : env_(env),
          array_(array),
          elements_(array != nullptr ? (env->*Get)(array, nullptr) : nullptr),
          length_(elements_ != nullptr ? env->GetArrayLength(array) : 0) {}
    ArrayElements(const ArrayElements&) = delete;
    ArrayElements& operator=(const ArrayElements&) = delete;
    ~ArrayElements() {
        if (elements_ != nullptr) (env_->*Release)(array_, elements_, 0);
    }

    explicit operator bool() const { return elements_ != nullptr; }
    // The JVM refused the elements of a real array. It then has an exception
    // pending, and the native method may make no JNI call except releases.
    bool refused() const { return array_ != nullptr && elements_ == nullptr; }
    Element* get() const { return elements_; }
    jsize length() const { return length_; }

private:
    JNIEnv* env_;
    Array array_;
    Element* elements_;
    jsize length_;
};

using ByteArrayElements = ArrayElements<jbyteArray, jbyte, &JNIEnv::GetByteArrayElements,
                                        &JNIEnv::ReleaseByteArrayElements>;
using IntArrayElements =
    ArrayElements<jintArray, jint, &JNIEnv::GetIntArrayElements, &JNIEnv::ReleaseIntArrayElements>;

}  // namespace vellamoor
