#pragma once
// Windows virtual-key codes of the keys the poll knows. The key poll names keys this way on
// every platform, so a backend only has to map these numbers to its own key codes.
namespace platform::vk {

constexpr int Return = 0x0D;
constexpr int Escape = 0x1B;
constexpr int Prior = 0x21;  // Page Up
constexpr int Next = 0x22;   // Page Down
constexpr int Left = 0x25;
constexpr int Up = 0x26;
constexpr int Right = 0x27;
constexpr int Down = 0x28;

// Main-keyboard digits and letters use their character codes.
constexpr int Digit0 = '0';
constexpr int Digit1 = '1';
constexpr int Digit2 = '2';
constexpr int Digit3 = '3';
constexpr int Digit4 = '4';
constexpr int Digit5 = '5';
constexpr int Digit6 = '6';
constexpr int Digit7 = '7';
constexpr int Digit8 = '8';
constexpr int Digit9 = '9';

constexpr int A = 'A';
constexpr int B = 'B';
constexpr int C = 'C';
constexpr int D = 'D';
constexpr int E = 'E';
constexpr int F = 'F';
constexpr int G = 'G';
constexpr int H = 'H';
constexpr int I = 'I';
constexpr int J = 'J';
constexpr int K = 'K';
constexpr int L = 'L';
constexpr int M = 'M';
constexpr int N = 'N';
constexpr int O = 'O';
constexpr int P = 'P';
constexpr int Q = 'Q';
constexpr int R = 'R';
constexpr int S = 'S';
constexpr int T = 'T';
constexpr int U = 'U';
constexpr int V = 'V';
constexpr int W = 'W';
constexpr int X = 'X';
constexpr int Y = 'Y';
constexpr int Z = 'Z';

constexpr int Numpad0 = 0x60;
constexpr int Numpad1 = 0x61;
constexpr int Numpad2 = 0x62;
constexpr int Numpad3 = 0x63;
constexpr int Numpad4 = 0x64;
constexpr int Numpad5 = 0x65;
constexpr int Numpad6 = 0x66;
constexpr int Numpad7 = 0x67;
constexpr int Numpad8 = 0x68;
constexpr int Numpad9 = 0x69;
constexpr int Multiply = 0x6A;
constexpr int Add = 0x6B;
constexpr int Subtract = 0x6D;
constexpr int Divide = 0x6F;
constexpr int F9 = 0x78;  // takes the last save back

constexpr int LShift = 0xA0;
constexpr int RShift = 0xA1;
constexpr int LControl = 0xA2;
constexpr int RControl = 0xA3;

// Every code above is below this, so a backend can keep a flat table indexed by code.
constexpr int Count = 256;

}  // namespace platform::vk
