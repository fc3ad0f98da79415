// Writes the resources that are made rather than written by hand, at build time:
//   strings.rc   the string tables, one per language, taken from the engine's own tables so the program's
//                resources and the engine's texts cannot drift apart;
//   icon110.ico, icon111.ico, icon112.ico
//                the three warning icons in front of the warning lines, drawn here (16, 32 and 48 pixels).
// Usage: generateresources OUTDIR
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/uistrings.h"

namespace {

// ---- string tables ----

std::string RcString(const char16_t* text_I)
{
  std::string out = "L\"";
  bool lastWasEscape = false;
  for (const char16_t* c = text_I; *c != 0; ++c) {
    const bool hexDigit = (*c >= u'0' && *c <= u'9') || (*c >= u'a' && *c <= u'f') || (*c >= u'A' && *c <= u'F');
    // A hexadecimal digit right after an escape would be read as part of it.
    if (*c < 0x20 || *c > 0x7E || *c == u'"' || *c == u'\\' || (lastWasEscape && hexDigit)) {
      char escape[8];
      std::snprintf(escape, sizeof(escape), "\\x%04X", static_cast<unsigned>(*c));
      out += escape;
      lastWasEscape = true;
      continue;
    }
    out += static_cast<char>(*c);
    lastWasEscape = false;
  }
  // The stored form counts the terminating zero in the entry's length.
  return out + "\\x0000\"";
}

bool WriteStrings(const std::string& path_I)
{
  std::ofstream out(path_I, std::ios::binary | std::ios::trunc);
  out << "// Made at build time from the engine's string tables; not to be edited.\n";
  for (const orv::CStringTable& table : orv::BuiltInStringTables()) {
    out << "\nLANGUAGE " << (table.mLangId & 0x3FF) << ", " << (table.mLangId >> 10) << "\nSTRINGTABLE\nBEGIN\n";
    for (size_t i = 0; i < orv::kUiStringIds.size(); ++i) {
      if (table.mTexts[i] == nullptr) continue;
      out << "  " << orv::kUiStringIds[i] << ", " << RcString(table.mTexts[i]) << "\n";
    }
    out << "END\n";
  }
  return static_cast<bool>(out);
}

// ---- icons ----

struct SColour {
  float r, g, b, a;
};

// A shape is its coverage test on a 1 by 1 canvas (y down); each is filled with one colour over the
// shapes before it.
using Inside = std::function<bool(float x, float y)>;

struct SLayer {
  Inside inside;
  SColour colour;
};

float Distance(float x0, float y0, float x1, float y1) { return std::hypot(x1 - x0, y1 - y0); }

Inside Disc(float cx, float cy, float radius)
{
  return [=](float x, float y) { return Distance(x, y, cx, cy) <= radius; };
}

Inside Ring(float cx, float cy, float inner, float outer)
{
  return [=](float x, float y) {
    const float d = Distance(x, y, cx, cy);
    return d >= inner && d <= outer;
  };
}

// A thick line with round ends.
Inside Stroke(float x0, float y0, float x1, float y1, float width)
{
  return [=](float x, float y) {
    const float dx = x1 - x0, dy = y1 - y0;
    const float t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    return Distance(x, y, x0 + t * dx, y0 + t * dy) <= width / 2;
  };
}

Inside RoundedBox(float left, float top, float right, float bottom, float radius)
{
  return [=](float x, float y) {
    const float cx = std::clamp(x, left + radius, right - radius);
    const float cy = std::clamp(y, top + radius, bottom - radius);
    return x >= left && x <= right && y >= top && y <= bottom && Distance(x, y, cx, cy) <= radius;
  };
}

Inside Minus(Inside a, Inside b)
{
  return [=](float x, float y) { return a(x, y) && !b(x, y); };
}

const SColour kRed{0.85f, 0.12f, 0.10f, 1.0f};
const SColour kWhite{1.0f, 1.0f, 1.0f, 1.0f};
const SColour kInk{0.16f, 0.24f, 0.36f, 1.0f};
const SColour kScreen{0.30f, 0.56f, 0.85f, 1.0f};
const SColour kSteel{0.62f, 0.66f, 0.72f, 1.0f};

// The "do not" sign over every symbol: a red ring with a slash from top left to bottom right.
void AddProhibition(std::vector<SLayer>& layers_IO)
{
  layers_IO.push_back({Ring(0.5f, 0.5f, 0.40f, 0.49f), kRed});
  layers_IO.push_back({Stroke(0.22f, 0.22f, 0.78f, 0.78f, 0.09f), kRed});
}

// 112, in front of "do not shut down, restart or sleep": a monitor showing the power symbol.
std::vector<SLayer> PowerIcon()
{
  std::vector<SLayer> layers;
  layers.push_back({Disc(0.5f, 0.5f, 0.45f), kWhite});
  layers.push_back({RoundedBox(0.20f, 0.24f, 0.80f, 0.66f, 0.04f), kInk});
  layers.push_back({RoundedBox(0.24f, 0.28f, 0.76f, 0.62f, 0.02f), kScreen});
  layers.push_back({Stroke(0.50f, 0.66f, 0.50f, 0.74f, 0.07f), kInk});
  layers.push_back({Stroke(0.36f, 0.76f, 0.64f, 0.76f, 0.06f), kInk});
  layers.push_back({Minus(Ring(0.5f, 0.46f, 0.085f, 0.13f), RoundedBox(0.45f, 0.30f, 0.55f, 0.44f, 0.0f)), kWhite});
  layers.push_back({Stroke(0.50f, 0.34f, 0.50f, 0.45f, 0.045f), kWhite});
  AddProhibition(layers);
  return layers;
}

// 111, in front of "do not unplug the power or USB cables": a plug on its cable.
std::vector<SLayer> PlugIcon()
{
  std::vector<SLayer> layers;
  layers.push_back({Disc(0.5f, 0.5f, 0.45f), kWhite});
  layers.push_back({Stroke(0.41f, 0.16f, 0.41f, 0.32f, 0.07f), kSteel});
  layers.push_back({Stroke(0.59f, 0.16f, 0.59f, 0.32f, 0.07f), kSteel});
  layers.push_back({RoundedBox(0.30f, 0.30f, 0.70f, 0.58f, 0.07f), kInk});
  layers.push_back({RoundedBox(0.40f, 0.56f, 0.60f, 0.68f, 0.03f), kInk});
  layers.push_back({Stroke(0.50f, 0.66f, 0.50f, 0.88f, 0.07f), kInk});
  AddProhibition(layers);
  return layers;
}

// 110, in front of "do not touch buttons on the device": a round push button.
std::vector<SLayer> ButtonIcon()
{
  std::vector<SLayer> layers;
  layers.push_back({Disc(0.5f, 0.5f, 0.45f), kWhite});
  layers.push_back({RoundedBox(0.22f, 0.52f, 0.78f, 0.72f, 0.05f), kInk});
  layers.push_back({RoundedBox(0.34f, 0.38f, 0.66f, 0.56f, 0.04f), kSteel});
  layers.push_back({Stroke(0.38f, 0.40f, 0.62f, 0.40f, 0.04f), kWhite});
  AddProhibition(layers);
  return layers;
}

// Straight (not premultiplied) BGRA, top row first; each pixel is sampled 4 by 4 times.
std::vector<uint8_t> Render(const std::vector<SLayer>& layers_I, int size_I)
{
  constexpr int kSamples = 4;
  std::vector<uint8_t> pixels(static_cast<size_t>(size_I * size_I * 4));
  for (int py = 0; py < size_I; ++py) {
    for (int px = 0; px < size_I; ++px) {
      float r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          const float x = (px + (sx + 0.5f) / kSamples) / size_I;
          const float y = (py + (sy + 0.5f) / kSamples) / size_I;
          SColour c{0, 0, 0, 0};
          for (const SLayer& layer : layers_I) {
            if (layer.inside(x, y)) c = layer.colour;
          }
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      uint8_t* out = &pixels[static_cast<size_t>((py * size_I + px) * 4)];
      const float n = kSamples * kSamples;
      out[0] = static_cast<uint8_t>(std::lround(a > 0 ? 255 * b / a : 0));
      out[1] = static_cast<uint8_t>(std::lround(a > 0 ? 255 * g / a : 0));
      out[2] = static_cast<uint8_t>(std::lround(a > 0 ? 255 * r / a : 0));
      out[3] = static_cast<uint8_t>(std::lround(255 * a / n));
    }
  }
  return pixels;
}

void Put16(std::vector<uint8_t>& out_IO, uint32_t value_I)
{
  out_IO.push_back(static_cast<uint8_t>(value_I));
  out_IO.push_back(static_cast<uint8_t>(value_I >> 8));
}

void Put32(std::vector<uint8_t>& out_IO, uint32_t value_I)
{
  Put16(out_IO, value_I & 0xFFFF);
  Put16(out_IO, value_I >> 16);
}

// One icon image: a 32-bit bitmap (bottom row first) and its all-visible AND mask, rows padded to 4 bytes.
std::vector<uint8_t> IconImage(const std::vector<uint8_t>& pixels_I, int size_I)
{
  const uint32_t maskRow = static_cast<uint32_t>(((size_I + 31) / 32) * 4);
  std::vector<uint8_t> image;
  Put32(image, 40);
  Put32(image, static_cast<uint32_t>(size_I));
  Put32(image, static_cast<uint32_t>(size_I * 2));
  Put16(image, 1);
  Put16(image, 32);
  for (int i = 0; i < 6; ++i) Put32(image, 0);
  for (int row = size_I - 1; row >= 0; --row) {
    const auto first = pixels_I.begin() + row * size_I * 4;
    image.insert(image.end(), first, first + size_I * 4);
  }
  image.insert(image.end(), maskRow * static_cast<uint32_t>(size_I), 0);
  return image;
}

bool WriteIcon(const std::string& path_I, const std::vector<SLayer>& layers_I)
{
  const int sizes[] = {16, 32, 48};
  std::vector<std::vector<uint8_t>> images;
  for (int size : sizes) images.push_back(IconImage(Render(layers_I, size), size));
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, static_cast<uint32_t>(images.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<uint8_t>(sizes[i]));
    file.push_back(static_cast<uint8_t>(sizes[i]));
    file.push_back(0);
    file.push_back(0);
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<uint32_t>(images[i].size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const std::vector<uint8_t>& image : images) file.insert(file.end(), image.begin(), image.end());
  std::ofstream out(path_I, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fputs("usage: generateresources OUTDIR\n", stderr);
    return 1;
  }
  const std::string dir = std::string(argv[1]) + "/";
  const bool written = WriteStrings(dir + "strings.rc") && WriteIcon(dir + "icon110.ico", ButtonIcon()) &&
                       WriteIcon(dir + "icon111.ico", PlugIcon()) && WriteIcon(dir + "icon112.ico", PowerIcon());
  if (!written) {
    std::fprintf(stderr, "generateresources: cannot write to %s\n", argv[1]);
    return 1;
  }
  return 0;
}
