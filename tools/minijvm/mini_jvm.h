#pragma once

#include <jni.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace minijvm {

// Just enough of a JVM to call the library's entry points without one: Java
// byte and int arrays, and the JNI functions that reach their elements. The
// command-line tool, the Wine test host and the unit tests all call the
// library through it, exactly as the Java side does.
//
// Elements are handed out as copies, as a JVM may do, so an entry point that
// forgets to release with mode 0 loses its writes; every Get and Release is
// counted and every misuse recorded.
class MiniJvm {
public:
    MiniJvm();
    MiniJvm(const MiniJvm&) = delete;
    MiniJvm& operator=(const MiniJvm&) = delete;
    ~MiniJvm();

    // Handing out the environment starts a native call, which starts with no
    // exception pending: the previous call's was thrown on its way back.
    JNIEnv* env();

    jbyteArray newByteArray(const std::vector<uint8_t>& bytes);
    jintArray newIntArray(size_t length, jint fill = 0);
    std::vector<uint8_t> bytes(jbyteArray array) const;
    std::vector<jint> ints(jintArray array) const;

    // The next `count` Get<Type>ArrayElements calls return null, as a JVM
    // that cannot pin or copy an array does.
    void failNextGets(int count) { failingGets_ = count; }

    int gets() const { return gets_; }  // successful ones
    int releases() const { return releases_; }
    size_t outstandingElements() const { return outstanding_.size(); }
    // Releases with a mode other than 0, of unknown elements, or twice, and
    // JNI calls other than releases while an exception is pending (after a
    // Get that returned null).
    const std::vector<std::string>& misuses() const { return misuses_; }

private:
    struct Array {
        bool holdsInts;
        std::vector<uint8_t> storage;  // element bytes, native order
        size_t elementSize() const { return holdsInts ? sizeof(jint) : sizeof(jbyte); }
        size_t length() const { return storage.size() / elementSize(); }
    };
    struct Env {
        const JNINativeInterface_* functions;  // must come first, as in JNIEnv
        MiniJvm* owner;
    };

    static MiniJvm& of(JNIEnv* env);
    void* obtain(void* array, bool wantInts);
    void give(void* array, void* elements, jint mode);

    static jsize JNICALL getArrayLength(JNIEnv* env, jarray array);
    static jbyte* JNICALL getByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy);
    static void JNICALL releaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elements, jint mode);
    static jint* JNICALL getIntArrayElements(JNIEnv* env, jintArray array, jboolean* isCopy);
    static void JNICALL releaseIntArrayElements(JNIEnv* env, jintArray array, jint* elements, jint mode);

    JNINativeInterface_ functions_;
    Env env_;
    std::vector<std::unique_ptr<Array>> arrays_;
    // Elements handed out and not yet released; a native call holds a few at
    // most, so a list is quicker to search than a map.
    std::vector<std::pair<void*, Array*>> outstanding_;
    std::vector<std::string> misuses_;
    void checkNoExceptionPending(const char* function);

    int failingGets_ = 0;
    bool exceptionPending_ = false;
    int gets_ = 0;
    int releases_ = 0;
};

}  // namespace minijvm
