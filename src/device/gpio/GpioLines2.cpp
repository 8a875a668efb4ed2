// GpioChip on libgpiod 2.x: the chip answers questions about its lines, and
// each requested line is a request of its own (so that one line that cannot
// be requested leaves the others as they are, as on libgpiod 1.x).
#if TOGGRA_GPIOD_API == 2
#include <dirent.h>
#include <gpiod.h>

#include <cerrno>
#include <map>
#include <string>

#include "device/gpio/GpioLines.h"

namespace toggra::gpio {

namespace {

struct InfoCloser {
  void operator()(gpiod_chip_info* info) const { gpiod_chip_info_free(info); }
};
struct LineInfoCloser {
  void operator()(gpiod_line_info* info) const { gpiod_line_info_free(info); }
};

bool IsNumber(const std::string& s) {
  return !s.empty() && s.size() < 10 && s.find_first_not_of("0123456789") == std::string::npos;
}

std::string LabelOf(gpiod_chip* chip) {
  std::unique_ptr<gpiod_chip_info, InfoCloser> info(gpiod_chip_get_info(chip));
  return info ? gpiod_chip_info_get_label(info.get()) : "";
}

// The chip whose label is `label`, among the chips under /dev.
gpiod_chip* OpenByLabel(const std::string& label) {
  DIR* dir = opendir("/dev");
  if (!dir) return nullptr;
  gpiod_chip* found = nullptr;
  while (!found) {
    const dirent* entry = readdir(dir);
    if (!entry) break;
    if (std::string(entry->d_name).rfind("gpiochip", 0) != 0) continue;
    gpiod_chip* chip = gpiod_chip_open(("/dev/" + std::string(entry->d_name)).c_str());
    if (chip && LabelOf(chip) == label)
      found = chip;
    else if (chip)
      gpiod_chip_close(chip);
  }
  closedir(dir);
  return found;
}

}  // namespace

struct GpioChip::Impl {
  gpiod_chip* chip = nullptr;
  std::string name, label;
  std::map<unsigned, gpiod_line_request*> requests;
  ~Impl() {
    for (auto& [offset, request] : requests) gpiod_line_request_release(request);
    if (chip) gpiod_chip_close(chip);
  }
  gpiod_line_request* Requested(unsigned offset) const {
    auto it = requests.find(offset);
    return it == requests.end() ? nullptr : it->second;
  }
};

GpioChip::GpioChip(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
GpioChip::~GpioChip() = default;

// The same lookup as libgpiod 1.x's: a number is /dev/gpiochipN; otherwise a
// label, then a name under /dev or a path there.
std::unique_ptr<GpioChip> GpioChip::Open(const std::string& chip) {
  auto impl = std::make_unique<Impl>();
  if (IsNumber(chip)) {
    impl->chip = gpiod_chip_open(("/dev/gpiochip" + chip).c_str());
  } else {
    impl->chip = OpenByLabel(chip);
    if (!impl->chip)
      impl->chip = gpiod_chip_open((chip.rfind("/dev/", 0) == 0 ? chip : "/dev/" + chip).c_str());
  }
  if (!impl->chip) return nullptr;
  std::unique_ptr<gpiod_chip_info, InfoCloser> info(gpiod_chip_get_info(impl->chip));
  if (!info) return nullptr;
  impl->name = gpiod_chip_info_get_name(info.get());
  impl->label = gpiod_chip_info_get_label(info.get());
  return std::unique_ptr<GpioChip>(new GpioChip(std::move(impl)));
}

std::string GpioChip::Name() const { return m_impl->name; }
std::string GpioChip::Label() const { return m_impl->label; }

bool GpioChip::Find(const std::string& line, unsigned* offset) const {
  if (IsNumber(line)) {
    const unsigned n = static_cast<unsigned>(std::stoul(line));
    std::unique_ptr<gpiod_line_info, LineInfoCloser> info(
        gpiod_chip_get_line_info(m_impl->chip, n));
    if (!info) return false;
    *offset = n;
    return true;
  }
  const int n = gpiod_chip_get_line_offset_from_name(m_impl->chip, line.c_str());
  if (n < 0) return false;
  *offset = static_cast<unsigned>(n);
  return true;
}

bool GpioChip::Info(unsigned offset, LineInfo* info) const {
  std::unique_ptr<gpiod_line_info, LineInfoCloser> line(
      gpiod_chip_get_line_info(m_impl->chip, offset));
  if (!line) return false;
  info->used = gpiod_line_info_is_used(line.get());
  info->output = gpiod_line_info_get_direction(line.get()) == GPIOD_LINE_DIRECTION_OUTPUT;
  const char* consumer = gpiod_line_info_get_consumer(line.get());
  info->consumer = consumer ? consumer : "";
  return true;
}

bool GpioChip::Request(unsigned offset, const char* consumer, bool asIs, bool activeLow) {
  if (m_impl->Requested(offset)) return true;
  gpiod_line_settings* settings = gpiod_line_settings_new();
  gpiod_line_config* lines = gpiod_line_config_new();
  gpiod_request_config* config = gpiod_request_config_new();
  gpiod_line_request* request = nullptr;
  if (settings && lines && config) {
    if (!asIs) {
      gpiod_line_settings_set_direction(settings, GPIOD_LINE_DIRECTION_OUTPUT);
      gpiod_line_settings_set_output_value(settings, GPIOD_LINE_VALUE_INACTIVE);
    }
    gpiod_line_settings_set_active_low(settings, activeLow);
    gpiod_request_config_set_consumer(config, consumer);
    if (gpiod_line_config_add_line_settings(lines, &offset, 1, settings) == 0)
      request = gpiod_chip_request_lines(m_impl->chip, config, lines);
  }
  const int error = errno;
  gpiod_request_config_free(config);
  gpiod_line_config_free(lines);
  gpiod_line_settings_free(settings);
  errno = error;
  if (!request) return false;
  m_impl->requests[offset] = request;
  return true;
}

bool GpioChip::IsRequested(unsigned offset) const { return m_impl->Requested(offset) != nullptr; }

int GpioChip::Get(unsigned offset) const {
  gpiod_line_request* request = m_impl->Requested(offset);
  if (!request) return -1;
  const gpiod_line_value value = gpiod_line_request_get_value(request, offset);
  return value == GPIOD_LINE_VALUE_ERROR ? -1 : value == GPIOD_LINE_VALUE_ACTIVE ? 1 : 0;
}

bool GpioChip::Set(unsigned offset, int value) {
  gpiod_line_request* request = m_impl->Requested(offset);
  return request && gpiod_line_request_set_value(request, offset,
                                                 value ? GPIOD_LINE_VALUE_ACTIVE
                                                       : GPIOD_LINE_VALUE_INACTIVE) == 0;
}

}  // namespace toggra::gpio

#endif  // TOGGRA_GPIOD_API
