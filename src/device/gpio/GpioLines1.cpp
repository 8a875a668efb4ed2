// GpioChip on libgpiod 1.x: lines belong to the chip and are requested one by
// one.
#if TOGGRA_GPIOD_API == 1
#include <gpiod.h>

#include <cerrno>
#include <string>

#include "device/gpio/GpioLines.h"

namespace toggra::gpio {

struct GpioChip::Impl {
  gpiod_chip* chip = nullptr;
  ~Impl() {
    if (chip) gpiod_chip_close(chip);  // releases the lines it requested
  }
  gpiod_line* Line(unsigned offset) const { return gpiod_chip_get_line(chip, offset); }
};

GpioChip::GpioChip(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
GpioChip::~GpioChip() = default;

std::unique_ptr<GpioChip> GpioChip::Open(const std::string& chip) {
  auto impl = std::make_unique<Impl>();
  impl->chip = gpiod_chip_open_lookup(chip.c_str());
  if (!impl->chip) return nullptr;
  return std::unique_ptr<GpioChip>(new GpioChip(std::move(impl)));
}

std::string GpioChip::Name() const { return gpiod_chip_name(m_impl->chip); }
std::string GpioChip::Label() const { return gpiod_chip_label(m_impl->chip); }

bool GpioChip::Find(const std::string& line, unsigned* offset) const {
  gpiod_line* l = line.find_first_not_of("0123456789") == std::string::npos && line.size() < 10
                      ? m_impl->Line(static_cast<unsigned>(std::stoul(line)))
                      : gpiod_chip_find_line(m_impl->chip, line.c_str());
  if (!l) return false;
  *offset = gpiod_line_offset(l);
  return true;
}

bool GpioChip::Info(unsigned offset, LineInfo* info) const {
  gpiod_line* line = m_impl->Line(offset);
  if (!line) return false;
  if (!gpiod_line_is_requested(line) && gpiod_line_update(line) != 0) return false;
  info->used = gpiod_line_is_used(line);
  info->output = gpiod_line_direction(line) == GPIOD_LINE_DIRECTION_OUTPUT;
  const char* consumer = gpiod_line_consumer(line);
  info->consumer = consumer ? consumer : "";
  return true;
}

bool GpioChip::Request(unsigned offset, const char* consumer, bool asIs, bool activeLow) {
  gpiod_line* line = m_impl->Line(offset);
  if (!line) return false;
  gpiod_line_request_config config{};
  config.consumer = consumer;
  config.request_type = asIs ? GPIOD_LINE_REQUEST_DIRECTION_AS_IS
                             : GPIOD_LINE_REQUEST_DIRECTION_OUTPUT;
  config.flags = activeLow ? GPIOD_LINE_REQUEST_FLAG_ACTIVE_LOW : 0;
  return gpiod_line_request(line, &config, 0) == 0;
}

bool GpioChip::IsRequested(unsigned offset) const {
  gpiod_line* line = m_impl->Line(offset);
  return line && gpiod_line_is_requested(line);
}

int GpioChip::Get(unsigned offset) const {
  gpiod_line* line = m_impl->Line(offset);
  if (!line || !gpiod_line_is_requested(line)) return -1;
  const int value = gpiod_line_get_value(line);
  return value < 0 ? -1 : value;
}

bool GpioChip::Set(unsigned offset, int value) {
  gpiod_line* line = m_impl->Line(offset);
  return line && gpiod_line_is_requested(line) &&
         gpiod_line_set_value(line, value ? 1 : 0) == 0;
}

}  // namespace toggra::gpio

#endif  // TOGGRA_GPIOD_API
