#pragma once
// Line settings of a serial port as the links keep them: the enumerations of the port driver and
// what they mean on the wire.
#include <array>
#include <cstdint>

namespace korvo {

enum TComPortNumber { pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
enum TComPortBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum TComPortDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TComPortStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TComPortHwHandshaking { hhNONE, hhRTSCTS };
enum TComPortSwHandshaking { shNONE, shXONXOFF };

// Bits per second of each TComPortBaudRate, in the order of the enumeration.
inline constexpr std::array<int, 13> kBaudRates{110,   300,   600,   1200,  2400,  4800,  9600,
                                                14400, 19200, 38400, 56000, 57600, 115200};

struct LineSettings {
    TComPortBaudRate speed = br9600;
    TComPortDataBits dataBits = db8BITS;
    TComPortStopBits stopBits = sb1BITS;
    TComPortParity parity = ptNONE;
    TComPortHwHandshaking hwHandshaking = hhNONE;
    TComPortSwHandshaking swHandshaking = shNONE;
    bool dtrOnOpen = true;
    std::uint16_t inBufSize = 2048;
    std::uint16_t outBufSize = 2048;

    int baud() const { return kBaudRates[std::size_t(speed)]; }
    int byteSize() const { return 5 + int(dataBits); }
};

} // namespace korvo
