#include "sim/csimi2cbus.h"

#include <utility>

namespace orv::sim {

void CSimI2CBus::Attach(std::shared_ptr<CSimI2CSlave> slave_I)
{
  if (slave_I) mSlaves.push_back(std::move(slave_I));
}

void CSimI2CBus::Drive(bool scl_I, bool sda_I)
{
  if (scl_I && !mScl) {
    SetMasterSda(sda_I);
    SetScl(true);
    return;
  }
  SetScl(scl_I);
  SetMasterSda(sda_I);
}

void CSimI2CBus::SetScl(bool level_I)
{
  if (level_I == mScl) return;
  mScl = level_I;
  if (mScl) {
    RisingEdge();
  } else {
    FallingEdge();
  }
}

void CSimI2CBus::SetMasterSda(bool level_I)
{
  const bool before = Sda();
  mMasterSda = level_I;
  if (!mScl || Sda() == before) return;
  if (Sda()) {
    StopCondition();
  } else {
    StartCondition();
  }
}

void CSimI2CBus::StartCondition()
{
  if (mSlave) mSlave->Stop();
  mSlave = nullptr;
  mSlaveSda = true;
  mPhase = EPHASE_RECEIVE;
  mAddressing = true;
  mBits = 0;
  mShift = 0;
}

void CSimI2CBus::StopCondition()
{
  if (mSlave) mSlave->Stop();
  mSlave = nullptr;
  mSlaveSda = true;
  mPhase = EPHASE_IDLE;
}

void CSimI2CBus::RisingEdge()
{
  switch (mPhase) {
    case EPHASE_RECEIVE:
      if (mBits < 8) {
        mShift = static_cast<uint8_t>(mShift << 1 | (Sda() ? 1 : 0));
        ++mBits;
      }
      return;
    case EPHASE_TRANSMIT:
      ++mBits;
      return;
    case EPHASE_ACK_IN:
      mMasterAcknowledged = !Sda();
      return;
    case EPHASE_IDLE:
    case EPHASE_ACK_OUT:
      return;
  }
}

void CSimI2CBus::FallingEdge()
{
  switch (mPhase) {
    case EPHASE_RECEIVE:
      if (mBits == 8) ByteReceived();
      return;
    case EPHASE_ACK_OUT:
      AfterAcknowledge();
      return;
    case EPHASE_TRANSMIT:
      if (mBits < 8) {
        mSlaveSda = (mShift >> (7 - mBits) & 1) != 0;
        return;
      }
      mSlaveSda = true;
      mPhase = EPHASE_ACK_IN;
      return;
    case EPHASE_ACK_IN:
      // A master that does not acknowledge ends the read; the slave lets go and waits for the stop.
      if (mMasterAcknowledged) {
        LoadTransmitByte();
      } else {
        mPhase = EPHASE_IDLE;
      }
      return;
    case EPHASE_IDLE:
      return;
  }
}

void CSimI2CBus::ByteReceived()
{
  const uint8_t byte = mShift;
  mBits = 0;
  mShift = 0;
  if (mAddressing) {
    mAddressing = false;
    mReading = (byte & 1) != 0;
    for (const std::shared_ptr<CSimI2CSlave>& slave : mSlaves) {
      if (!slave->Address(byte)) continue;
      mSlave = slave.get();
      break;
    }
    mAcknowledged = mSlave != nullptr;
  } else {
    mAcknowledged = mSlave && mSlave->WriteByte(byte);
  }
  mSlaveSda = !mAcknowledged;
  mPhase = EPHASE_ACK_OUT;
}

void CSimI2CBus::AfterAcknowledge()
{
  mSlaveSda = true;
  if (!mSlave) {
    mPhase = EPHASE_IDLE;
    return;
  }
  if (mReading) {
    LoadTransmitByte();
    return;
  }
  mPhase = EPHASE_RECEIVE;
}

void CSimI2CBus::LoadTransmitByte()
{
  mShift = mSlave->ReadByte();
  mBits = 0;
  mSlaveSda = (mShift & 0x80) != 0;
  mPhase = EPHASE_TRANSMIT;
}

}  // namespace orv::sim
