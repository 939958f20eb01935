#pragma once

namespace vellamoor {

// Owns one platform resource (a handle, a socket, a device list, a file
// descriptor) until it is handed over to a table entry, so that every early
// return of an open releases what it acquired. Traits name the resource's
// type, its empty value, which values are open, and how one is closed.
template <typename Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    explicit UniqueResource(Value value = Traits::empty()) : value_(value) {}
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() {
        if (valid()) Traits::close(value_);
    }

    bool valid() const { return Traits::valid(value_); }
    Value get() const { return value_; }

    void reset(Value value) {
        if (valid()) Traits::close(value_);
        value_ = value;
    }

    Value release() {
        Value value = value_;
        value_ = Traits::empty();
        return value;
    }

private:
    Value value_;
};

}  // namespace vellamoor
