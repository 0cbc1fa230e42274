// Owners for what GLib and GMime hand out, and GMime's one start, for the mail's own files.
// GObject's cast macros are C-style casts; GMime's types embed their parent first, so As() is
// the pointer conversion those macros do once the type check is left out.
#ifndef WEBLETTER_SERVICES_MAIL_GMIME_SUPPORT_H_
#define WEBLETTER_SERVICES_MAIL_GMIME_SUPPORT_H_

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

namespace webletter {

template <typename To, typename From>
To* As(From* object) {
  return reinterpret_cast<To*>(object);
}

struct GObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};
// A string that GLib allocated.
using GlibText = std::unique_ptr<char, GFree>;

struct FormatOptionsFree {
  void operator()(GMimeFormatOptions* options) const { g_mime_format_options_free(options); }
};
using FormatOptions = std::unique_ptr<GMimeFormatOptions, FormatOptionsFree>;

inline void InitGMimeOnce() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

}  // namespace webletter

#endif  // WEBLETTER_SERVICES_MAIL_GMIME_SUPPORT_H_
