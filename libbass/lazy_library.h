// A library the audio library loads the first time it is needed rather than
// with itself (dlopen, RTLD_LOCAL, never closed): libopenmpt with the first
// module, libsoxr with the first track whose rate is not the output's, ALSA
// where no sound server answers. A player that plays through a sound server
// at its rate loads none of them, which keeps them off its start and out of
// its memory.
//
//   struct Api { decltype(&fn_a) a; decltype(&fn_b) b; };
//   const Api* api() {
//       static const Api* const loaded = LoadLibraryApi<Api>("liba.so.1",
//           [](Api& f, LibraryBinder& bind) { bind(f.a, "fn_a"); bind(f.b, "fn_b"); });
//       return loaded;  // null: the library or one of its functions is missing
//   }
#pragma once

#include <dlfcn.h>

namespace chromola::audio {

class LibraryBinder {
  public:
    explicit LibraryBinder(void* library) : library_(library) {}

    template <typename Fn>
    void operator()(Fn*& fn, const char* name) {
        fn = library_ != nullptr ? reinterpret_cast<Fn*>(dlsym(library_, name)) : nullptr;
        complete_ = complete_ && fn != nullptr;
    }
    bool complete() const { return library_ != nullptr && complete_; }

  private:
    void* library_;
    bool complete_ = true;
};

// Loads `soname` and binds the functions of `Api` through `bind`; call it
// once per Api, from a function-local static (which makes it thread-safe).
template <typename Api, typename Bind>
const Api* LoadLibraryApi(const char* soname, Bind bind) {
    static Api functions{};
    LibraryBinder binder(dlopen(soname, RTLD_NOW | RTLD_LOCAL));
    bind(functions, binder);
    return binder.complete() ? &functions : nullptr;
}

}  // namespace chromola::audio
