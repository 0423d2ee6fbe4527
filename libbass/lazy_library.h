// A library the audio library loads the first time it is needed rather than
// with itself (dlopen, RTLD_LOCAL, never closed): libopenmpt with the first
// module, libsoxr with the first track whose rate is not the output's, ALSA
// where no sound server answers. A player that plays through a sound server
// at its rate loads none of them, which keeps them off its start and out of
// its memory.
//
//   struct Api { decltype(&fn_a) a; decltype(&fn_b) b; };
//   const Api* api() {
//       static const Api* const loaded = LoadLibraryApi<Api>("liba.so.1", "what it is for",
//           [](Api& f, LibraryBinder& bind) { bind(f.a, "fn_a"); bind(f.b, "fn_b"); });
//       return loaded;  // null: the library or one of its functions is missing
//   }
#pragma once

#include <dlfcn.h>

#include <cstdio>

namespace chromola::audio {

class LibraryBinder {
  public:
    explicit LibraryBinder(void* library) : library_(library) {}

    template <typename Fn>
    void operator()(Fn*& fn, const char* name) {
        fn = library_ != nullptr ? reinterpret_cast<Fn*>(dlsym(library_, name)) : nullptr;
        if (library_ != nullptr && fn == nullptr && missing_ == nullptr)
            missing_ = name;
    }
    bool complete() const { return library_ != nullptr && missing_ == nullptr; }
    // The first function the library lacks.
    const char* missing() const { return missing_; }

  private:
    void* library_;
    const char* missing_ = nullptr;
};

// Loads `soname` and binds the functions of `Api` through `bind`; call it
// once per Api, from a function-local static (which makes it thread-safe).
// A library that cannot be loaded, or lacks a function, is said once on
// stderr with what goes without it (`purpose`): otherwise each file that
// needs it would only fail, with a code that blames the file.
template <typename Api, typename Bind>
const Api* LoadLibraryApi(const char* soname, const char* purpose, Bind bind) {
    static Api functions{};
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    const char* why = library == nullptr ? dlerror() : nullptr;
    LibraryBinder binder(library);
    bind(functions, binder);
    if (binder.complete())
        return &functions;
    if (library == nullptr)
        std::fprintf(stderr, "libbass: cannot load %s (%s): no %s\n", soname,
                     why != nullptr ? why : "not found", purpose);
    else
        std::fprintf(stderr, "libbass: %s lacks %s: no %s\n", soname, binder.missing(), purpose);
    return nullptr;
}

}  // namespace chromola::audio
