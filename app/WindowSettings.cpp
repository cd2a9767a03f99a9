#include "app/WindowSettings.h"

#include <algorithm>
#include <cstdint>

#include "app/RegistryStore.h"
#include "platform/SystemError.h"

namespace vexlo::app {

std::string SettingsNotSavedLine(const std::string& where, int error) {
  return "##### WARNING: The settings could not be saved to " + where + ": " +
         platform::ErrorText(error) + "  ######\r\n";
}

void WindowSettings::Exchange(bool saveAndValidate) {
  DialogSettings& s = values_;
  for (const SettingRow& row : kSettingsTable) {
    switch (row.kind) {
      case SettingKind::kPath:
        if (saveAndValidate) {
          s.*row.path = host_.text(row.control);
        } else {
          host_.setText(row.control, s.*row.path);
        }
        break;
      case SettingKind::kList:
        if (saveAndValidate) {
          s.*row.number = host_.listIndex(row.control);
        } else {
          host_.setListIndex(row.control, s.*row.number);
        }
        break;
      case SettingKind::kCheck:
        if (saveAndValidate) {
          s.*row.number = host_.checked(row.control) ? 1 : 0;
        } else {
          host_.setChecked(row.control, s.*row.number != 0);
        }
        break;
      case SettingKind::kRadioGroup:
        if (saveAndValidate) s.*row.number = -1;
        for (int i = 0; i < 3; ++i) {
          if (!saveAndValidate) {
            host_.setChecked(kOutputTypeRadios[i], s.*row.number == i);
          } else if (host_.checked(kOutputTypeRadios[i])) {
            s.*row.number = i;
          }
        }
        break;
    }
  }
  if (saveAndValidate) {
    s.frameTimeText = host_.text(res::id::kFrameTimeEdit);
  } else {
    host_.setText(res::id::kFrameTimeEdit, s.frameTimeText);
  }
}

// A value of another type than the setting's, or a number that is no position of its control,
// reads as the default: the settings file may have been edited by hand or damaged, and such a
// value must never turn into another encode.
void WindowSettings::Load(const std::string& programDirectory) {
  for (const SettingRow& row : kSettingsTable) {
    const auto value = store_.ReadValue(kSettingsKey, row.storedName);
    if (row.kind == SettingKind::kPath) {
      std::string& field = values_.*row.path;
      field = programDirectory;
      if (!value || value->type != platform::kRegSz) continue;
      const auto& bytes = value->data;
      field.assign(bytes.begin(), std::find(bytes.begin(), bytes.end(), std::uint8_t{0}));
      continue;
    }
    int& field = values_.*row.number;
    field = row.loadDefault;
    if (!value || value->type != platform::kRegDword || value->data.size() != 4) continue;
    std::uint32_t number = 0;
    for (int i = 0; i < 4; ++i) number |= static_cast<std::uint32_t>(value->data[i]) << (8 * i);
    if (number < row.count) field = static_cast<int>(number);
  }
}

// Every setting SaveAll writes goes into one write of the store (one lock, one rewrite of the
// settings file), each value with the bytes its own save would store.
void WindowSettings::SaveAll() const {
  platform::RegistryValues values;
  for (const SettingRow& row : kSettingsTable) {
    if (row.savedWithAll) values.emplace_back(row.storedName, Stored(row));
  }
  Write(values);
}

void WindowSettings::Save(const SettingRow& row) const {
  Write({{row.storedName, Stored(row)}});
}

platform::RegistryValue WindowSettings::Stored(const SettingRow& row) const {
  return row.kind == SettingKind::kPath
             ? RegistryStore::StringValue(values_.*row.path)
             : RegistryStore::DwordValue(static_cast<std::uint32_t>(values_.*row.number));
}

void WindowSettings::Write(const platform::RegistryValues& values) const {
  if (!keep_) return;
  const platform::RegistryWriteResult result = store_.PutValues(kSettingsKey, values);
  if (result || !writeFailure_) return;
  writeFailure_ = result;
  if (report_) report_(SettingsNotSavedLine(store_.Location(), result.error));
}

void WindowSettings::SaveControl(int control) const {
  if (const SettingRow* row = RowForControl(control)) Save(*row);
}

void WindowSettings::ApplyDefaultButton() {
  for (const SettingRow& row : kSettingsTable) {
    if (row.defaultButton) values_.*row.number = *row.defaultButton;
  }
  values_.frameTimeText = DialogSettings{}.frameTimeText;
}

void WindowSettings::ApplyAutomaticValues() {
  for (const SettingRow& row : kSettingsTable) {
    if (row.number) values_.*row.number = row.automaticValue;
  }
}

encode::EncoderSettings WindowSettings::Encoder() const {
  const DialogSettings& s = values_;
  encode::EncoderSettings e;
  e.outType = s.outputType;
  e.gpuType = s.gpu;
  e.profile = s.profile;
  e.crf = s.crf;
  e.fps = s.fps;
  e.resize = s.resize;
  e.deinterlace = s.deinterlace != 0;
  e.shortGop = s.shortGop != 0;
  e.useReport = s.useReport != 0;
  return e;
}

encode::EncodePaths WindowSettings::Paths() const {
  return {values_.source, values_.videoDestination, values_.audioDestination};
}

}  // namespace vexlo::app
