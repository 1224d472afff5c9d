#pragma once

namespace ph {

class AppState;

// gotoAdrs "检查地址": every row whose region holds nothing but blanks and tabs gets the
// location of the host part of its address; rows whose address has no ":" are left alone.
// Goes on by itself while lookups wait for the web; says "数据验证完成..." when done.
void CheckAddresses(AppState& state);

// Command5 "本机IP": the machine's external address and its location into ApiAddressInfo,
// once the web has answered.
void ShowExternalAddress(AppState& state);

}  // namespace ph
