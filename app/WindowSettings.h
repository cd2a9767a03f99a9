#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "app/SettingsTable.h"
#include "encode/EncodeRequest.h"
#include "encode/EncoderSettings.h"
#include "hosts/DialogHost.h"
#include "platform/RegistryHive.h"

// The main window's settings: their exchange with the controls and with the store, by the table.

namespace vexlo::app {

class RegistryStore;

/// The log line of a failed settings save: where the settings live and the system's reason.
std::string SettingsNotSavedLine(const std::string& where, int error);

// The window's settings: their values, their exchange with the controls and with the settings
// store, the Default button's values and automatic mode's. Every step walks the settings table.
class WindowSettings {
 public:
  WindowSettings(hosts::DialogHost& host, RegistryStore& store) : host_(host), store_(store) {}

  DialogSettings& values() { return values_; }
  const DialogSettings& values() const { return values_; }

  /// Controls to values (`saveAndValidate`) or values to controls.
  void Exchange(bool saveAndValidate);
  /// Reads every stored setting; a missing or unusable one takes its load default, a path the
  /// program directory.
  void Load(const std::string& programDirectory);
  /// Writes the settings SaveAll writes, in the table's order, from the values as they stand, in
  /// one write of the store.
  void SaveAll() const;
  /// Writes one setting.
  void Save(const SettingRow& row) const;
  /// Writes the setting of a control, when it has one.
  void SaveControl(int control) const;
  /// The Default button's values (the frame time text included); the others stay.
  void ApplyDefaultButton();
  /// Automatic mode's values, before the command line's own.
  void ApplyAutomaticValues();
  /// False: the store is never written (an encode given by options).
  void keepInStore(bool keep) { keep_ = keep; }

  /// The first settings write that failed, with its reason; true while none has. A failed write
  /// leaves the old value stored, as a failed registry write did.
  const platform::RegistryWriteResult& writeFailure() const { return writeFailure_; }
  /// Where the first failed write is told (SettingsNotSavedLine, once for the object's life: a
  /// window whose settings folder cannot be written says so once, not at every control).
  void reportFailureTo(std::function<void(std::string_view line)> report) {
    report_ = std::move(report);
  }

  encode::EncoderSettings Encoder() const;
  encode::EncodePaths Paths() const;

 private:
  platform::RegistryValue Stored(const SettingRow& row) const;
  void Write(const platform::RegistryValues& values) const;

  hosts::DialogHost& host_;
  RegistryStore& store_;
  DialogSettings values_;
  bool keep_ = true;
  mutable platform::RegistryWriteResult writeFailure_;
  std::function<void(std::string_view)> report_;
};

}  // namespace vexlo::app
