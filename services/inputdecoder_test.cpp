#include "inputdecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace ehi {
namespace {

// Records what the decoder delivers as text: "c65" a character, "x59" an
// extended key, "m1,4,2" a mouse state.
struct Recorder : InputSink {
  std::vector<std::string> seen;
  void OnKey(const KeyEvent& k) override {
    seen.push_back((k.Extended ? "x" : "c") + std::to_string(k.Code));
  }
  void OnMouse(const MouseState& m) override {
    seen.push_back("m" + std::to_string(m.Buttons) + "," + std::to_string(m.X) + "," +
                   std::to_string(m.Y) + (m.Wheel ? "w" + std::to_string(m.Wheel) : ""));
  }
};

std::vector<std::string> Decode(const std::string& bytes, bool timeout = true) {
  InputDecoder d;
  Recorder r;
  d.Feed(bytes, r);
  if (timeout) d.Timeout(r);
  return r.seen;
}

std::string One(const std::string& bytes) {
  auto v = Decode(bytes);
  return v.size() == 1 ? v[0] : "(" + std::to_string(v.size()) + " events)";
}

// Forms that used to leak bytes as typed text or give no key: SS3 with
// modifiers, Alt with a non-ASCII character, extra mouse buttons, keypad 5
// and the keypad's operators, Alt with the characters of keypad keys.
TEST(InputDecoder, ModifiedSs3KeypadAndStrayBytes) {
  struct Case {
    const char* bytes;
    const char* want;
  };
  const Case table[] = {
      {"\x1bO2P", "x84"},          {"\x1bO1;2P", "x84"},     {"\x1bO5Q", "x95"},
      {"\x1bO1;3S", "x107"},       {"\x1b\xc3\xa9", "(0 events)"},
      {"\x1b\xe2\x82\xac", "(0 events)"},                    {"\x1b\xff", "(0 events)"},
      {"\x1b[<128;5;5M", "(0 events)"}, {"\x1b[<129;5;5m", "(0 events)"},
      {"\x1b[E", "x76"},           {"\x1bOE", "x76"},        {"\x1b[G", "x76"},
      {"\x1b[1;5E", "x143"},       {"\x1bOm", "x74"},        {"\x1bOk", "x78"},
      {"\x1bO5m", "x142"},         {"\x1bO1;3o", "x164"},    {"\x1b*", "x55"},
      {"\x1b+", "x78"},            {"\x1b/", "x164"},
  };
  for (const Case& c : table) EXPECT_EQ(One(c.bytes), c.want) << c.bytes + 1;
  // Split anywhere, the same events.
  for (const Case& c : table) {
    const std::string all = c.bytes;
    for (size_t cut = 1; cut < all.size(); ++cut) {
      InputDecoder d;
      Recorder r;
      d.Feed(all.substr(0, cut), r);
      d.Feed(all.substr(cut), r);
      d.Timeout(r);
      EXPECT_EQ(r.seen, Decode(all)) << c.bytes + 1 << " cut at " << cut;
    }
  }
}

TEST(InputDecoder, RealXtermSequences) {
  struct Case {
    const char* bytes;
    const char* want;
  };
  const Case table[] = {
      {"a", "c97"},          {"\r", "c13"},           {"\x7f", "c8"},
      {"\x19", "c25"},       {"\x1bOP", "x59"},       {"\x1bOS", "x62"},
      {"\x1b[15~", "x63"},   {"\x1b[21~", "x68"},     {"\x1b[23~", "x133"},
      {"\x1b[24~", "x134"},  {"\x1b[1;2P", "x84"},    {"\x1b[15;5~", "x98"},
      {"\x1b[24;3~", "x140"}, {"\x1b[23;2~", "x135"}, {"\x1b[Z", "x15"},
      {"\x1b[A", "x72"},     {"\x1b[B", "x80"},       {"\x1b[C", "x77"},
      {"\x1b[D", "x75"},     {"\x1b[H", "x71"},       {"\x1b[F", "x79"},
      {"\x1bOH", "x71"},     {"\x1b[1~", "x71"},      {"\x1b[4~", "x79"},
      {"\x1b[2~", "x82"},    {"\x1b[3~", "x83"},      {"\x1b[5~", "x73"},
      {"\x1b[6~", "x81"},    {"\x1b[1;5A", "x141"},   {"\x1b[1;5B", "x145"},
      {"\x1b[1;5C", "x116"}, {"\x1b[1;5D", "x115"},   {"\x1b[1;5H", "x119"},
      {"\x1b[1;5F", "x117"}, {"\x1b[5;5~", "x132"},   {"\x1b[6;5~", "x118"},
      {"\x1b[2;5~", "x146"}, {"\x1b[3;5~", "x147"},   {"\x1b[3;3~", "x163"},
      {"\x1b[1;2A", "x72"},  {"\x1b[1;7A", "(0 events)"},  // Alt wins: no key
      {"\x1bq", "x16"},      {"\x1bP", "x25"},        {"\x1b" "a", "x30"},
      {"\x1bm", "x50"},      {"\x1b" "1", "x120"},    {"\x1b" "0", "x129"},
      {"\x1b=", "x131"},     {"\x1b\r", "x166"},      {"\x1bOM", "x28"},
      {"\x1b[[A", "x59"},    {"\x1b[11~", "x59"},     {"\x1b", "c27"},
  };
  for (const Case& c : table) EXPECT_EQ(One(c.bytes), c.want) << c.bytes + 1;
}

TEST(InputDecoder, MouseReports) {
  // SGR: left press and release at column 5, row 3 (1-based on the wire).
  EXPECT_EQ(Decode("\x1b[<0;5;3M\x1b[<0;5;3m"),
            (std::vector<std::string>{"m1,4,2", "m0,4,2"}));
  // Middle is 1 and right is 2 on the wire; 4 and 2 here.
  EXPECT_EQ(Decode("\x1b[<1;1;1M\x1b[<2;1;1M"),
            (std::vector<std::string>{"m4,0,0", "m6,0,0"}));
  // A move with the left button held keeps it held.
  EXPECT_EQ(Decode("\x1b[<0;2;2M\x1b[<32;3;2M"),
            (std::vector<std::string>{"m1,1,1", "m1,2,1"}));
  // The wheel is no button: a turn up (64) or down (65), Shift or not; the
  // sideways wheel (66, 67) is nothing.
  EXPECT_EQ(Decode("\x1b[<64;2;2M\x1b[<65;3;2M\x1b[<68;2;2M\x1b[<66;2;2M"),
            (std::vector<std::string>{"m0,1,1w-1", "m0,2,1w1", "m0,1,1w-1"}));
  // A coordinate past 16 bits stays past every window instead of wrapping
  // round to a cell on it (65541 would be column 5).
  EXPECT_EQ(Decode("\x1b[<0;65541;3M"), std::vector<std::string>{"m1,65535,2"});
  // X10: ESC [ M, then button, column and row, each + 32.
  EXPECT_EQ(Decode("\x1b[M !!\x1b[M#!!"), (std::vector<std::string>{"m1,0,0", "m0,0,0"}));
}

TEST(InputDecoder, SplitSequencesAndEscapeTiming) {
  InputDecoder d;
  Recorder r;
  d.Feed("\x1b", r);
  EXPECT_TRUE(d.Pending());
  d.Feed("[1", r);
  d.Feed("5~x", r);
  EXPECT_EQ(r.seen, (std::vector<std::string>{"x63", "c120"}));
  d.Feed("\x1b", r);
  d.Timeout(r);  // nothing followed: the Escape key
  EXPECT_EQ(r.seen.back(), "c27");
  EXPECT_EQ(Decode("\x1b\x1b", false), (std::vector<std::string>{"c27"}));
}

// A report split on a slow link: its rest is waited for long enough, and
// when it comes after all, too late, it is swallowed, never typed.
TEST(InputDecoder, SplitReportsWaitAndLateTailsNeverType) {
  InputDecoder d;
  Recorder r;
  d.Feed("\x1b", r);
  EXPECT_EQ(d.WaitMs(), InputDecoder::kEscapeWaitMs);
  d.Feed("[<0;5;4", r);
  EXPECT_EQ(d.WaitMs(), InputDecoder::kSequenceWaitMs);
  EXPECT_GE(InputDecoder::kSequenceWaitMs, 500);
  d.Feed("M\x1b[<0;5;4m", r);
  EXPECT_EQ(r.seen, (std::vector<std::string>{"m1,4,3", "m0,4,3"}));
  r.seen.clear();

  // Given up on, then its tail comes: SGR reports, and X10 ones whose
  // coordinate bytes may be any characters (a press at column 50, row 18).
  const std::pair<std::string, std::string> split[] = {
      {"\x1b[<0;5", "M"}, {"\x1b[<0;5", "4M"}, {"\x1b[<0;5", ";4M"}, {"\x1b[<0;5", "0;4M"},
      {"\x1b[", "M R2"},   {"\x1b[M", " R2"},   {"\x1b[M ", "R2"},   {"\x1b[M R", "2"},
      {"\x1b[M", "\xff\xfe\x80"},
  };
  for (const auto& [head, tail] : split) {
    InputDecoder late;
    Recorder seen;
    late.Feed(head, seen);
    late.Timeout(seen);  // gave up on it: dropped
    late.Feed(tail + "a", seen);
    EXPECT_EQ(seen.seen, std::vector<std::string>{"c97"}) << head.substr(1) << "|" << tail;
  }
  // The tail that never comes stops being waited for at the next timeout.
  d.Feed("\x1b[<0;5", r);
  d.Timeout(r);
  d.Timeout(r);
  EXPECT_FALSE(d.Pending());
  d.Feed("M", r);
  EXPECT_EQ(r.seen, std::vector<std::string>{"c77"});
}

// The buttons held, followed through raw bytes, as the end of the screen
// waits for a release.
TEST(ButtonWatch, FollowsPressesAndReleases) {
  struct Case {
    uint16_t held;
    const char* bytes;
    uint16_t want;
  };
  const Case table[] = {
      {1, "\x1b[<0;5;5m", 0},          {1, "\x1b[<32;6;5M", 1},  // a drag keeps it
      {1, "\x1b[<64;1;1M", 1},         {1, "\x1b[M#!!", 0},      // X10 release
      {0, "\x1b[<2;1;1M", 2},          {5, "\x1b[<1;1;1m", 1},
      {1, "typed m and M", 1},         {1, "\x1b[<0;1;1M\x1b[<0;1;1m", 0},
      {1, "\x1b[<3;9;9m", 0},
  };
  for (const Case& c : table) {
    ButtonWatch whole(c.held), bytewise(c.held);
    whole.Feed(c.bytes, std::string(c.bytes).size());
    for (const char* p = c.bytes; *p; ++p) bytewise.Feed(p, 1);
    EXPECT_EQ(whole.Held(), c.want) << c.bytes + 1;
    EXPECT_EQ(bytewise.Held(), c.want) << c.bytes + 1;
  }
}

// The terminal's answer to a status request, which the end of the screen
// waits for, spotted in raw bytes as the decoder counts it, and never a key.
TEST(StatusWatch, SpotsTheAnswerAsTheDecoderCountsIt) {
  const std::pair<std::string, bool> table[] = {
      {"\x1b[0n", true},           {"\x1b[3n", true},  {"\x1b[<0;5;3M\x1b[<0;5;3m\x1b[0n", true},
      {"typed 0n and [0n", false}, {"\x1b[6n", false}, {"\x1b[1;0n", false},
  };
  for (const auto& [bytes, answer] : table) {
    StatusWatch whole, bytewise;
    whole.Feed(bytes.data(), bytes.size());
    for (char c : bytes) bytewise.Feed(&c, 1);
    EXPECT_EQ(whole.Answered(), answer) << bytes.substr(1);
    EXPECT_EQ(bytewise.Answered(), answer) << bytes.substr(1);
    InputDecoder d;
    Recorder r;
    d.Feed(bytes, r);
    EXPECT_EQ(d.StatusReplies(), answer ? 1u : 0u) << bytes.substr(1);
    for (const std::string& e : r.seen) EXPECT_EQ(e[0], bytes[0] == 27 ? 'm' : 'c');
  }
}

TEST(InputDecoder, UnknownSequencesNeverLeakAsText) {
  // Focus reports, a colour query answer, an unknown CSI and a malformed
  // one: no byte of them comes out as a character.
  EXPECT_EQ(Decode("\x1b[I\x1b[O\x1b[?1;2c\x1b[99~\x1b[1$x"), std::vector<std::string>{});
  // A control byte inside a sequence ends it; the byte itself is a key.
  EXPECT_EQ(Decode("\x1b[12\x01z"), (std::vector<std::string>{"c1", "c122"}));
  EXPECT_EQ(Decode("\x1b[1;\x1b[A"), std::vector<std::string>{"x72"});
  // A sequence that never ends is dropped once it cannot be one any more.
  EXPECT_EQ(Decode("\x1b[" + std::string(100, '1') + "q"), std::vector<std::string>{});
  EXPECT_EQ(Decode(std::string("\0", 1)), std::vector<std::string>{});
}

TEST(InputDecoder, ChunkingDoesNotChangeTheEvents) {
  const std::string stream =
      "ab\x1b[A\x1b[<0;10;20M\x1b[<0;10;20m\x1bOP\x1b[15;2~\x1bq\x1b[M !!z";
  const auto whole = Decode(stream);
  for (size_t chunk = 1; chunk <= 7; ++chunk) {
    InputDecoder d;
    Recorder r;
    for (size_t i = 0; i < stream.size(); i += chunk) d.Feed(stream.substr(i, chunk), r);
    d.Timeout(r);
    EXPECT_EQ(r.seen, whole) << chunk;
  }
}

}  // namespace
}  // namespace ehi
