// A pin-level I2C bus: the master drives the clock and its open-drain data output, the line SDA is the wired
// AND of the master and the addressed slave. Start and stop conditions are seen from the levels alone (SDA
// falling or rising while SCL is high); bits are sampled on SCL rising edges, and the slave changes its data
// output only on falling edges, as a real slave does.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace orv::sim {

// A fault count that never runs out.
constexpr uint64_t kSimAlways = UINT64_MAX;

// Uses up one of a fault's remaining times; false when none is left.
inline bool TakeSimFault(uint64_t& count_IO)
{
  if (count_IO == 0) return false;
  if (count_IO != kSimAlways) --count_IO;
  return true;
}

// A device on the bus. The bus calls it from the bridge's thread, under the bridge's lock.
class CSimI2CSlave {
 public:
  virtual ~CSimI2CSlave() = default;
  // The address byte of a transaction, with its R/W bit; true = acknowledge (this slave is addressed).
  virtual bool Address(uint8_t addressByte_I) = 0;
  // A byte the master wrote; true = acknowledge.
  virtual bool WriteByte(uint8_t byte_I) = 0;
  // The next byte of a read.
  virtual uint8_t ReadByte() = 0;
  // A stop, or a repeated start, ended the transaction.
  virtual void Stop() = 0;
};

// Not thread safe: its owner (the bridge) serialises every call.
class CSimI2CBus {
 public:
  // Slaves are offered each address byte in attach order; the first that acknowledges is addressed.
  void Attach(std::shared_ptr<CSimI2CSlave> slave_I);
  // The master's pin levels: true = high (released, pulled up). When both change at once the data line
  // changes while the clock is low (before a rising, after a falling edge), so no start or stop is made.
  void Drive(bool scl_I, bool sda_I);
  // The line: the master's and the slave's outputs wired together.
  bool Sda() const { return mMasterSda && mSlaveSda; }

 private:
  enum EPhase : uint8_t {
    // No transaction for any slave: waits for a start.
    EPHASE_IDLE,
    // A slave (or, for the address byte, every slave) takes in a byte.
    EPHASE_RECEIVE,
    // The slave's acknowledge bit after a received byte.
    EPHASE_ACK_OUT,
    // The addressed slave sends a byte.
    EPHASE_TRANSMIT,
    // The master's acknowledge bit after a sent byte.
    EPHASE_ACK_IN,
  };

  void SetScl(bool level_I);
  void SetMasterSda(bool level_I);
  void StartCondition();
  void StopCondition();
  void RisingEdge();
  void FallingEdge();
  void ByteReceived();
  void AfterAcknowledge();
  void LoadTransmitByte();

  std::vector<std::shared_ptr<CSimI2CSlave>> mSlaves;
  bool mScl = true;
  bool mMasterSda = true;
  bool mSlaveSda = true;
  EPhase mPhase = EPHASE_IDLE;
  CSimI2CSlave* mSlave = nullptr;
  bool mAddressing = false;
  bool mReading = false;
  bool mAcknowledged = false;
  bool mMasterAcknowledged = false;
  int mBits = 0;
  uint8_t mShift = 0;
};

}  // namespace orv::sim
