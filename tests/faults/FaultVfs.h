#pragma once

#include <QStringList>

// A SQLite VFS over the system's default one, installed as the default of the
// process, so every connection the program opens goes through it. It counts
// the calls that change a file (write, sync, truncate) and can report each
// one, fail one, or cut the power at one.
namespace FaultVfs {

enum class TFault {
    // The chosen call fails and changes nothing; later calls work again.
    IoError,
    // The chosen call fails and the power goes: of every file's writes since
    // its last sync some persist and some are lost (blocks of 512 bytes,
    // chosen by the seed), and every later call fails until Disarm.
    PowerLoss,
};

// Registers the VFS as the default; harmless when already done.
void Install();
// Counts the changing calls from zero; the nth (from 1) gets the fault.
void Arm(TFault fault, int nth, quint32 seed);
// Ends the fault: the power is back and nothing is counted or kept any more.
void Disarm();
// Whether the armed call was reached.
bool Fired();
// The changing calls counted since Arm.
int Calls();
// The files written since their last sync while a power loss is armed:
// what a power loss at this moment could still take away.
QStringList Unsynced();
// Called with 'w', 's', 't' or 'd' before each write, sync, truncate or
// deletion of a file.
void SetTrace(void (*trace)(char kind));
// Whether a sync reaches the disk. The shim's model of the disk treats a
// sync as durable either way; tests that only need the model skip the cost.
void SetRealSync(bool on);

} // namespace FaultVfs
