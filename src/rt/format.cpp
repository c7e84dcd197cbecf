#include "rt/format.h"

#include <cstdint>
#include <cstring>

namespace rt {
namespace {

struct Sink {
  char* out;
  std::size_t capacity;
  std::size_t length;

  void Put(char c) {
    if (length + 1 < capacity) out[length++] = c;
  }
  void Repeat(char c, int count) {
    for (int i = 0; i < count; ++i) Put(c);
  }
};

struct Spec {
  bool left = false;
  bool zero = false;
  int width = 0;
  int precision = -1;
};

void PutField(Sink& sink, const Spec& spec, const char* text, std::size_t length) {
  int pad = spec.width - static_cast<int>(length);
  if (!spec.left) sink.Repeat(spec.zero ? '0' : ' ', pad);
  for (std::size_t i = 0; i < length; ++i) sink.Put(text[i]);
  if (spec.left) sink.Repeat(' ', pad);
}

void PutNumber(Sink& sink, Spec spec, std::uint32_t magnitude, bool negative, unsigned base,
               bool upper) {
  char digits[16];
  std::size_t n = 0;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  do {
    digits[n++] = set[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  while (spec.precision > 0 && n < static_cast<std::size_t>(spec.precision) && n < sizeof digits)
    digits[n++] = '0';
  char text[20];
  std::size_t length = 0;
  if (negative) text[length++] = '-';
  if (spec.zero && !spec.left && negative) {
    // The sign goes before zero padding.
    sink.Put('-');
    --spec.width;
    length = 0;
  }
  while (n > 0) text[length++] = digits[--n];
  PutField(sink, spec, text, length);
}

#define ArgUnsigned(args, isLong) \
  ((isLong) ? static_cast<std::uint32_t>(va_arg(args, unsigned long)) : va_arg(args, unsigned))

}  // namespace

std::size_t FormatTextV(char* out, std::size_t capacity, const char* format, va_list args) {
  Sink sink{out, capacity, 0};
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      sink.Put(*p);
      continue;
    }
    ++p;
    Spec spec;
    for (;; ++p) {
      if (*p == '-') {
        spec.left = true;
      } else if (*p == '0') {
        spec.zero = true;
      } else {
        break;
      }
    }
    if (*p == '*') {
      spec.width = va_arg(args, int);
      ++p;
    } else {
      while (*p >= '0' && *p <= '9') spec.width = spec.width * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      spec.precision = 0;
      if (*p == '*') {
        spec.precision = va_arg(args, int);
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') spec.precision = spec.precision * 10 + (*p++ - '0');
      }
    }
    bool isLong = false;
    while (*p == 'l' || *p == 'h') isLong = isLong || *p++ == 'l';
    switch (*p) {
      case 'd':
      case 'i': {
        auto value = isLong ? static_cast<std::int32_t>(va_arg(args, long)) : va_arg(args, int);
        bool negative = value < 0;
        auto magnitude =
            negative ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
        PutNumber(sink, spec, magnitude, negative, 10, false);
        break;
      }
      case 'u':
        PutNumber(sink, spec, ArgUnsigned(args, isLong), false, 10, false);
        break;
      case 'x':
      case 'X':
        PutNumber(sink, spec, ArgUnsigned(args, isLong), false, 16, *p == 'X');
        break;
      case 'c': {
        char c = static_cast<char>(va_arg(args, int));
        PutField(sink, spec, &c, 1);
        break;
      }
      case 's': {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) text = "(null)";
        std::size_t length = 0;
        while (text[length] != '\0' &&
               (spec.precision < 0 || length < static_cast<std::size_t>(spec.precision)))
          ++length;
        spec.zero = false;
        PutField(sink, spec, text, length);
        break;
      }
      case '%':
        sink.Put('%');
        break;
      case '\0':
        --p;
        break;
      default:
        sink.Put('%');
        sink.Put(*p);
        break;
    }
  }
  if (capacity > 0) out[sink.length] = '\0';
  return sink.length;
}

std::size_t FormatText(char* out, std::size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::size_t length = FormatTextV(out, capacity, format, args);
  va_end(args);
  return length;
}

}  // namespace rt
