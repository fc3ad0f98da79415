// The simulated platform: a bus with the boards a scenario describes, the discovery and the device events an
// application runs on, and the files a run leaves (each board's final flash and a trace of its transfers).
// The scenario is written in the settings text format (docs/simulation.md); "default" is a built-in pen
// display with pen, touch and bluetooth boards. A recording of a run with real devices is replayed instead.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/fwupdater/cdeviceevents.h"
#include "common/fwupdater/cdiscovery.h"
#include "sim/csimbulkboard.h"
#include "sim/csimbus.h"
#include "sim/csimi2cboard.h"
#include "sim/csimreplay.h"
#include "sim/csimscalerboard.h"

namespace orv {
class CSettingsMap;
}

namespace orv::sim {

class CSimDiscovery : public CDiscovery {
 public:
  CSimDiscovery(const std::shared_ptr<CSimBus>& bus_I, std::string configFile_I)
      : CDiscovery(bus_I, bus_I, bus_I, std::move(configFile_I))
  {
  }
};

// The bus's arrivals and removals, delivered when the application's event loop asks.
class CSimEventSource : public CDeviceEventSource {
 public:
  explicit CSimEventSource(std::shared_ptr<CSimBus> bus_I) : mBus(std::move(bus_I)) {}
  void Subscribe(CDeviceEventSink* sink_I) override { mBus->Subscribe(sink_I); }
  void Unsubscribe(CDeviceEventSink* sink_I) override { mBus->Unsubscribe(sink_I); }
  void DeliverDueEvents() override { mBus->DeliverDueEvents(); }

 private:
  std::shared_ptr<CSimBus> mBus;
};

class CSimPlatform {
 public:
  // A scenario file, or "default"; empty, with the reason, when it cannot be used.
  static std::unique_ptr<CSimPlatform> Create(const std::string& scenario_I, std::string& error_O);
  static std::unique_ptr<CSimPlatform> CreateFromText(const std::string& text_I, std::string& error_O);
  static const char* DefaultScenario();

  const std::shared_ptr<CSimBus>& Bus() const { return mBus; }
  std::unique_ptr<CDiscovery> CreateDiscovery(const std::string& configFile_I) const;
  std::shared_ptr<CDeviceEventSource> Events() const;
  // The names of the scenario's boards, in scenario order.
  std::vector<std::string> BoardNames() const;
  // The scenario's boards by name; empty when there is none of that kind.
  std::shared_ptr<CSimHidBoard> HidBoard(const std::string& name_I) const;
  std::shared_ptr<CSimI2CTunnelBoard> I2CBoard(const std::string& name_I) const;
  std::shared_ptr<CSimBulkBoard> BulkBoard(const std::string& name_I) const;
  // The display scaler behind the FTDI bridge; empty when the scenario has none.
  std::shared_ptr<SSimScalerBoard> Scaler() const { return mScaler; }
  // What stands in for the FTDI library: the scaler's bridge, or one with nothing plugged in.
  CD2XX& D2XX() const { return mReplay ? mReplay->D2XX() : *mBridge; }
  // The recording replayed; empty for a scenario.
  const std::shared_ptr<CSimReplay>& Replay() const { return mReplay; }
  // Writes every board's flash and trace where the scenario asks; false when a file cannot be written.
  bool WriteResults(std::string& error_O) const;

  struct SBoard;

 private:
  CSimPlatform();
  // composite_I: the board is a collection of a USB device with several interfaces.
  bool AddDevice(const CSettingsMap& device_I, size_t index_I, bool composite_I, std::string& error_O);
  void ShareUsbDevices();
  bool AddScaler(const CSettingsMap& device_I, size_t index_I, std::string& error_O);

  std::shared_ptr<CSimBus> mBus;
  std::vector<std::shared_ptr<SBoard>> mBoards;
  std::shared_ptr<SSimScalerBoard> mScaler;
  std::shared_ptr<CSimFtdiBridge> mBridge;
  std::shared_ptr<CSimReplay> mReplay;
};

}  // namespace orv::sim
