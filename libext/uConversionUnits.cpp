#include "uConversionUnits.h"

#include <cmath>

#include "math.fpu.h"

namespace {

double power(double factor, uint8_t exponent) { return std::pow(factor, double(exponent)); }

// The captions are the localisable texts; their default values equal the names.
const TUnitsRec g_units[] = {
    {"mm", "mm", {" %s", " %s²", " %s³"}, 0.001},      {"cm", "cm", {" %s", " %s²", " %s³"}, 0.01},
    {"dm", "dm", {" %s", " %s²", " %s³"}, 0.1},        {"m", "m", {" %s", " %s²", " %s³"}, 1},
    {"in", "in", {" %s", " sq %s", " cu %s"}, 0.0254}, {"ft", "ft", {" %s", " sq %s", " cu %s"}, 0.3048},
    {"\"", "\"", {"%s", " sq%s", " cu%s"}, 0.0254},    {"'", "'", {"%s", " sq%s", " cu%s"}, 0.3048},
};

}  // namespace

std::span<const TUnitsRec> units_table() { return g_units; }

double CUnits::to_base(double value, uint8_t exponent) { return value * power(_info.urFactor, exponent); }

double CUnits::from_base(double value, uint8_t exponent) {
  double result = value / power(_info.urFactor, exponent);
  if (is_not_finite(result)) throw EZeroDivide();
  return result;
}

std::string CUnits::suffix(uint8_t exponent) {
  ASSERT(exponent >= 1 && exponent <= 3);
  std::string text = _info.urFormats[exponent - 1];
  if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, _info.urCaption);
  return text;
}
