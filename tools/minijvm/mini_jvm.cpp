#include "mini_jvm.h"

#include <algorithm>
#include <cstring>

namespace minijvm {

MiniJvm::MiniJvm() : functions_{}, env_{&functions_, this} {
    functions_.GetArrayLength = &MiniJvm::getArrayLength;
    functions_.GetByteArrayElements = &MiniJvm::getByteArrayElements;
    functions_.ReleaseByteArrayElements = &MiniJvm::releaseByteArrayElements;
    functions_.GetIntArrayElements = &MiniJvm::getIntArrayElements;
    functions_.ReleaseIntArrayElements = &MiniJvm::releaseIntArrayElements;
}

MiniJvm::~MiniJvm() {
    for (auto& held : outstanding_) delete[] static_cast<uint8_t*>(held.first);
}

JNIEnv* MiniJvm::env() {
    exceptionPending_ = false;
    return reinterpret_cast<JNIEnv*>(&env_);
}

void MiniJvm::checkNoExceptionPending(const char* function) {
    if (exceptionPending_) misuses_.push_back(std::string(function) + " called with an exception pending");
}

MiniJvm& MiniJvm::of(JNIEnv* env) { return *reinterpret_cast<Env*>(env)->owner; }

jbyteArray MiniJvm::newByteArray(const std::vector<uint8_t>& bytes) {
    arrays_.push_back(std::unique_ptr<Array>(new Array{false, bytes}));
    return reinterpret_cast<jbyteArray>(arrays_.back().get());
}

jintArray MiniJvm::newIntArray(size_t length, jint fill) {
    std::unique_ptr<Array> array(new Array{true, std::vector<uint8_t>(length * sizeof(jint))});
    for (size_t i = 0; i < length; ++i) std::memcpy(&array->storage[i * sizeof(jint)], &fill, sizeof fill);
    arrays_.push_back(std::move(array));
    return reinterpret_cast<jintArray>(arrays_.back().get());
}

std::vector<uint8_t> MiniJvm::bytes(jbyteArray array) const {
    return reinterpret_cast<const Array*>(array)->storage;
}

std::vector<jint> MiniJvm::ints(jintArray array) const {
    const Array* held = reinterpret_cast<const Array*>(array);
    std::vector<jint> values(held->length());
    if (!values.empty()) std::memcpy(values.data(), held->storage.data(), held->storage.size());
    return values;
}

void* MiniJvm::obtain(void* array, bool wantInts) {
    checkNoExceptionPending(wantInts ? "GetIntArrayElements" : "GetByteArrayElements");
    if (failingGets_ > 0) {
        // A JVM that cannot provide the elements throws OutOfMemoryError.
        --failingGets_;
        exceptionPending_ = true;
        return nullptr;
    }
    ++gets_;
    Array* held = static_cast<Array*>(array);
    if (held->holdsInts != wantInts) misuses_.push_back("elements of the wrong array type requested");
    uint8_t* copy = new uint8_t[held->storage.size() + 1];  // never a zero-length allocation
    if (!held->storage.empty()) std::memcpy(copy, held->storage.data(), held->storage.size());
    outstanding_.emplace_back(copy, held);
    return copy;
}

void MiniJvm::give(void* array, void* elements, jint mode) {
    ++releases_;
    auto held = std::find_if(outstanding_.begin(), outstanding_.end(),
                             [elements](const std::pair<void*, Array*>& e) { return e.first == elements; });
    if (held == outstanding_.end() || held->second != array) {
        misuses_.push_back("release of elements that are not outstanding");
        return;
    }
    if (mode != 0) misuses_.push_back("release with mode " + std::to_string(mode));
    if (mode != JNI_ABORT && !held->second->storage.empty()) {
        std::memcpy(held->second->storage.data(), elements, held->second->storage.size());
    }
    if (mode == JNI_COMMIT) return;
    delete[] static_cast<uint8_t*>(elements);
    outstanding_.erase(held);
}

jsize JNICALL MiniJvm::getArrayLength(JNIEnv* env, jarray array) {
    of(env).checkNoExceptionPending("GetArrayLength");
    return static_cast<jsize>(reinterpret_cast<const Array*>(array)->length());
}

jbyte* JNICALL MiniJvm::getByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy) {
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return static_cast<jbyte*>(of(env).obtain(array, false));
}

void JNICALL MiniJvm::releaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elements, jint mode) {
    of(env).give(array, elements, mode);
}

jint* JNICALL MiniJvm::getIntArrayElements(JNIEnv* env, jintArray array, jboolean* isCopy) {
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return static_cast<jint*>(of(env).obtain(array, true));
}

void JNICALL MiniJvm::releaseIntArrayElements(JNIEnv* env, jintArray array, jint* elements, jint mode) {
    of(env).give(array, elements, mode);
}

}  // namespace minijvm
