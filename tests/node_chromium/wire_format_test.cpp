// What crosses the wire besides events: native-call payloads and replies,
// input events and frame images.
#include <gtest/gtest.h>
#include <objbase.h>

#include "binding_shim.h"
#include "frame_decoder.h"
#include "input_events.h"

namespace {

TEST(NativeCallTest, PayloadCarriesNameAndTypedArguments) {
  NativeCallRequest request;
  ASSERT_TRUE(ParseNativeCallPayload(
      R"(["serverJS",[["s","{\"c\":\"sys\"}"],["n",1.5],["b",true],["u"],["l"],["n",null],["o","[1]"]],17])",
      &request));
  EXPECT_EQ(request.name, "serverJS");
  EXPECT_EQ(request.sequence, 17);
  ASSERT_EQ(request.args.size(), 7u);
  EXPECT_EQ(request.args[0].ToText(), L"{\"c\":\"sys\"}");
  EXPECT_EQ(request.args[1].ToText(), L"1.5");
  EXPECT_EQ(request.args[2].ToText(), L"true");
  EXPECT_EQ(request.args[3].kind, ScriptValue::Kind::kUndefined);
  EXPECT_EQ(request.args[4].kind, ScriptValue::Kind::kNull);
  EXPECT_EQ(request.args[5].ToText(), L"NaN");
  EXPECT_EQ(request.args[6].ToText(), L"[1]");
}

TEST(NativeCallTest, ForeignPayloadsAreRejected) {
  NativeCallRequest request;
  EXPECT_FALSE(ParseNativeCallPayload("not json", &request));
  EXPECT_FALSE(ParseNativeCallPayload(R"({"name":"x"})", &request));
  EXPECT_FALSE(ParseNativeCallPayload(R"(["x"])", &request));
  EXPECT_FALSE(ParseNativeCallPayload(R"([1,[]])", &request));
  // A call without its sequence number is not one the shim made.
  EXPECT_FALSE(ParseNativeCallPayload(R"(["x",[]])", &request));
  EXPECT_FALSE(ParseNativeCallPayload(R"(["x",[],"1"])", &request));
}

TEST(NativeCallTest, ScriptOutcomeCarriesItsIdAndValue) {
  ScriptOutcome outcome;
  ASSERT_TRUE(ParseScriptOutcome(R"([42,true,["s","done"]])", &outcome));
  EXPECT_EQ(outcome.id, 42);
  EXPECT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.value.ToText(), L"done");
  ASSERT_TRUE(ParseScriptOutcome(R"([43,false,["u"]])", &outcome));
  EXPECT_EQ(outcome.id, 43);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.value.kind, ScriptValue::Kind::kUndefined);
  EXPECT_FALSE(ParseScriptOutcome(R"(["43",true,["u"]])", &outcome));
  EXPECT_FALSE(ParseScriptOutcome("[]", &outcome));
}

TEST(NativeCallTest, QueuedScriptTravelsAsOneQuotedString) {
  std::string expression = RunLaterExpression(7, "a(\"x\");\n</script>");
  EXPECT_NE(expression.find("__lumoRunLater(7, \"a(\\\"x\\\");\\n</script>\")"), std::string::npos)
      << expression;
}

TEST(NativeCallTest, ReplyAssignsTheFramesLocal) {
  EXPECT_EQ(ReplyExpression(3, ScriptValue::String(L"a'b")),
            "callSeq === 3 && ((reply = \"a'b\"), true)");
  EXPECT_EQ(ReplyExpression(12, ScriptValue::Bool(false)),
            "callSeq === 12 && ((reply = false), true)");
}

TEST(NativeCallTest, FunctionScriptQuotesTheName) {
  std::string script = BoundFunctionScript("we\"ird");
  EXPECT_NE(script.find("globalThis[\"we\\\"ird\"]"), std::string::npos);
}

TEST(InputEventsTest, MouseMessagesMapToButtonsAndClicks) {
  Json params;
  ASSERT_TRUE(MouseEventParams(WM_RBUTTONDBLCLK, 3, -4, kMouseRight | kMouseShift, &params));
  EXPECT_EQ(params["type"], "mousePressed");
  EXPECT_EQ(params["button"], "right");
  EXPECT_EQ(params["clickCount"], 2);
  EXPECT_EQ(params["y"], -4);
  EXPECT_EQ(params["buttons"], 2);
  EXPECT_EQ(params["modifiers"], 8);
  ASSERT_TRUE(MouseEventParams(WM_MOUSEMOVE, 0, 0, kMouseLeft | kMouseControl, &params));
  EXPECT_EQ(params["type"], "mouseMoved");
  EXPECT_EQ(params["button"], "left");
  EXPECT_EQ(params["modifiers"], 2);
  EXPECT_FALSE(MouseEventParams(WM_MOUSEWHEEL, 0, 0, 0, &params));
}

TEST(InputEventsTest, WheelUpScrollsUp) {
  EXPECT_EQ(WheelEventParams(1, 2, 120, 0)["deltaY"], -120);
}

TEST(InputEventsTest, KeysCarryCodesNamesAndText) {
  Json down = KeyDownParams(VK_RETURN, kKeyRepeat, false);
  EXPECT_EQ(down["type"], "rawKeyDown");
  EXPECT_EQ(down["windowsVirtualKeyCode"], VK_RETURN);
  EXPECT_EQ(down["key"], "Enter");
  EXPECT_EQ(down["autoRepeat"], true);
  EXPECT_EQ(KeyUpParams('A', 0, false)["code"], "KeyA");
  EXPECT_EQ(KeyDownParams(VK_F5, 0, false)["key"], "F5");
  EXPECT_EQ(KeyPressParams(0x4e2d, 0, false)["text"], "\xe4\xb8\xad");
}

TEST(FrameDecoderTest, Base64DecodesWithAndWithoutPadding) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(DecodeBase64("TWFu", &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "Man");
  ASSERT_TRUE(DecodeBase64("TWE=", &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "Ma");
  ASSERT_TRUE(DecodeBase64("TQ", &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "M");
  EXPECT_FALSE(DecodeBase64("T", &bytes));
  EXPECT_FALSE(DecodeBase64("TW*u", &bytes));
}

// A 2 x 1 RGBA PNG: one opaque #00a0e0 pixel, one half-transparent red one.
const char kTwoPixelPng[] =
    "iVBORw0KGgoAAAANSUhEUgAAAAIAAAABCAYAAAD0In+KAAAAEUlEQVR4nGNgWPDg/38GhgYAEyAD/"
    "0gkuh0AAAAASUVORK5CYII=";

TEST(FrameDecoderTest, PngBecomesPremultipliedBgra) {
  ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(DecodeBase64(kTwoPixelPng, &bytes));
  FramePixels frame;
  ASSERT_TRUE(DecodeImage(bytes, &frame));
  EXPECT_EQ(frame.width, 2);
  EXPECT_EQ(frame.height, 1);
  EXPECT_EQ(frame.pixels[0], 0xff00a0e0u);
  // 255 red at alpha 128 premultiplies to 128.
  EXPECT_EQ(frame.pixels[1], 0x80800000u);
  EXPECT_FALSE(DecodeImage({1, 2, 3}, &frame));
  ::CoUninitialize();
}

}  // namespace

#include "websocket_frames.h"

namespace {

std::string ServerFrame(int first_byte, const std::string& payload) {
  std::string frame(1, static_cast<char>(first_byte));
  if (payload.size() < 126) {
    frame.push_back(static_cast<char>(payload.size()));
  } else {
    frame.push_back(126);
    frame.push_back(static_cast<char>(payload.size() >> 8));
    frame.push_back(static_cast<char>(payload.size()));
  }
  return frame + payload;
}

TEST(WebSocketFramesTest, ClientFramesAreMaskedWithTheRightLengthForm) {
  std::string small = EncodeClientTextFrame("abc", 0x01020304);
  ASSERT_EQ(small.size(), 2u + 4u + 3u);
  EXPECT_EQ(static_cast<unsigned char>(small[0]), 0x81u);
  EXPECT_EQ(static_cast<unsigned char>(small[1]), 0x80u | 3u);
  EXPECT_EQ(small[6], 'a' ^ 0x01);
  EXPECT_EQ(small[8], 'c' ^ 0x03);
  std::string medium = EncodeClientTextFrame(std::string(300, 'x'), 0);
  EXPECT_EQ(static_cast<unsigned char>(medium[1]), 0x80u | 126u);
  EXPECT_EQ(medium.size(), 4u + 4u + 300u);
  std::string large = EncodeClientTextFrame(std::string(70000, 'x'), 0);
  EXPECT_EQ(static_cast<unsigned char>(large[1]), 0x80u | 127u);
  EXPECT_EQ(large.size(), 10u + 4u + 70000u);
}

TEST(WebSocketFramesTest, MessagesSplitAnywhereAndTogetherComeOutWhole) {
  std::string stream = ServerFrame(0x81, "first") + ServerFrame(0x01, "sec") +
                       ServerFrame(0x89, "p") + ServerFrame(0x80, std::string(200, 'd')) +
                       ServerFrame(0x81, "third");
  FrameReader reader;
  std::vector<std::string> texts;
  int pings = 0;
  // One byte at a time: every split point of every frame is exercised.
  for (char byte : stream) {
    reader.Append(&byte, 1);
    std::string payload;
    for (;;) {
      FrameReader::Result result = reader.Next(&payload);
      if (result == FrameReader::Result::kNeedMore) break;
      ASSERT_NE(result, FrameReader::Result::kError);
      if (result == FrameReader::Result::kPing) ++pings;
      if (result == FrameReader::Result::kText) texts.push_back(payload);
    }
  }
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "first");
  EXPECT_EQ(texts[1], "sec" + std::string(200, 'd'));
  EXPECT_EQ(texts[2], "third");
  EXPECT_EQ(pings, 1);
}

TEST(WebSocketFramesTest, MaskedOrOutOfOrderServerFramesAreErrors) {
  std::string payload;
  FrameReader masked;
  std::string frame = "\x81\x81" + std::string("\0\0\0\0", 4) + "a";
  masked.Append(frame.data(), frame.size());
  EXPECT_EQ(masked.Next(&payload), FrameReader::Result::kError);
  FrameReader stray;
  std::string continuation = ServerFrame(0x80, "x");
  stray.Append(continuation.data(), continuation.size());
  EXPECT_EQ(stray.Next(&payload), FrameReader::Result::kError);
  FrameReader closing;
  std::string close = ServerFrame(0x88, "");
  closing.Append(close.data(), close.size());
  EXPECT_EQ(closing.Next(&payload), FrameReader::Result::kClose);
}

}  // namespace
