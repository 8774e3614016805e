// `CUnits`, a length unit of the conversion (`IFormatUnits`), and the table of
// the eight units the conversion manager registers.
#pragma once

#include <span>

#include "uConversion_INTF.h"

class CUnits : public TImplements<CSafeInterfacedObject, IFormatUnits> {
 public:
  static CUnits* create(const TUnitsRec& info) { return construct(new CUnits(info)); }

  std::string get_name() override { return _info.urName; }
  std::string get_caption() override { return _info.urCaption; }
  double to_base(double value, uint8_t exponent) override;
  double from_base(double value, uint8_t exponent) override;
  std::string suffix(uint8_t exponent) override;

  const TUnitsRec& info() const { return _info; }

 protected:
  explicit CUnits(const TUnitsRec& info) : _info(info) {}

 private:
  TUnitsRec _info;
};

// The units in registration order: "mm", "cm", "dm", "m", "in", "ft", the
// inch mark and the foot mark.
std::span<const TUnitsRec> units_table();
