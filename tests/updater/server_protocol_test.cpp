#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "support/LogCapture.h"
#include "support/LoopbackServer.h"
#include "support/ServerFixture.h"
#include "updater/HTTPRequest.h"
#include "updater/UpdateServerRequest.h"
#include "updater/base64.h"

using updatesim::Fault;
using Clock = std::chrono::steady_clock;

namespace {

HTTPResponse reply(const std::string& body) { return HTTPResponse("http://127.0.0.1/cgi/u", 200, body); }

}  // namespace

TEST(HTTPRequest, BuildsTheQueryInKeyOrderWithATrailingAmpersand) {
  EXPECT_EQ(HTTPRequest::BuildURL("http://h/cgi/u", {}), "http://h/cgi/u");
  EXPECT_EQ(HTTPRequest::BuildURL("U", {{"sn", "1"}, {"op", "qu"}}), "U?op=qu&sn=1&");
  EXPECT_EQ(HTTPRequest::BuildURL("U", {{"op", "hi"}, {"rv", "2"}}), "U?op=hi&rv=2&");
}

TEST(HTTPRequest, AnswersStatusAndBodyOrThrows) {
  ServerFixture f;
  f.Start();
  LogCapture log(DEBUG_ServerComm);
  HTTPResponse ok = HTTPRequest::GET(f.Url().c_str(), {{"op", "hi"}, {"rv", "2"}});
  EXPECT_EQ(ok.get_status(), 200);
  EXPECT_STREQ(ok.get_response(), "ok\n");
  EXPECT_EQ(std::string(ok.get_request()), f.Url() + "?op=hi&rv=2&");
  EXPECT_TRUE(log.contains("GET(" + f.Url() + "?op=hi&rv=2&)\n"));
  EXPECT_TRUE(log.contains("rcv_data returns 3\n"));

  // A large body arrives in many runs, concatenated in order.
  HTTPResponse big = HTTPRequest::GET(f.Url().c_str(), {{"op", "bird"}, {"sn", "40F5849A"}, {"fw", "shuttle"},
                                                       {"bld", "1300"}, {"no_cal", "false"}});
  EXPECT_EQ(big.body().substr(0, 3), "ok\n");
  EXPECT_GT(big.body().size(), 50000u);
  const std::string text = log.text();
  size_t runs = 0;
  for (size_t at = text.find("rcv_data called"); at != std::string::npos; at = text.find("rcv_data called", at + 1)) ++runs;
  EXPECT_GT(runs, 2u);

  const std::string base = "http://127.0.0.1:" + std::to_string(f.server->Port());
  HTTPResponse missing = HTTPRequest::GET((base + "/elsewhere").c_str(), {});
  EXPECT_EQ(missing.get_status(), 404);

  const std::string closed = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/cgi/u";
  try {
    HTTPRequest::GET(closed.c_str(), {});
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Couldn't connect to server");
  }
}

TEST(HTTPRequest, StalledDrippingAndHugeRepliesEndInBoundedTime) {
  ServerFixture f;
  f.Start();
  ShortLimits limits(1u << 20);
  f.server->SetFault("bird", Fault::Stall);
  f.server->SetFault("builds", Fault::Drip);
  f.server->SetFault("ent_jwt", Fault::Huge);
  for (const char* op : {"bird", "builds", "ent_jwt"}) {
    const auto start = Clock::now();
    EXPECT_THROW(HTTPRequest::GET(f.Url().c_str(), {{"op", op}}), std::runtime_error) << op;
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)) << op;
  }
  try {
    HTTPRequest::GET(f.Url().c_str(), {{"op", "ent_jwt"}});
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Response body larger than 1048576 bytes");
  }
}

TEST(HTTPRequest, VerifiesServerCertificates) {
  TempDir tmp;
  const std::string cert = tmp / "cert.pem", key = tmp / "key.pem";
  const ProcessResult made =
      RunProcess({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                  "-days", "1", "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"});
  if (made.status != 0) GTEST_SKIP() << "openssl could not make a certificate: " << made.err;
  ServerFixture f;
  updatesim::LocalUpdateServer tls(f.catalogue, cert, key);
  EXPECT_THROW(HTTPRequest::GET(tls.Url().c_str(), {{"op", "hi"}}), std::runtime_error);

  // A private authority is named through SSL_CERT_FILE.
  setenv("SSL_CERT_FILE", cert.c_str(), 1);
  HTTPResponse r = HTTPRequest::GET(tls.Url().c_str(), {{"op", "hi"}});
  unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(r.get_status(), 200);
  EXPECT_EQ(r.body(), "ok\n");
}

TEST(UpdateServerRequest, RequestsGoOutExactlyAsSpecified) {
  ServerFixture f;
  f.Start();
  const std::string u = f.Url();
  std::string build, tag, payload, token;
  BuildMap builds;
  uint32_t serial = 0, recovery = 0;
  const uint32_t fp[4] = {0x0A0B0C0D, 0x11223344, 0x55667788, 0x99AABBCC};
  EXPECT_TRUE(UpdateServerRequest::ping(u.c_str()));
  EXPECT_TRUE(UpdateServerRequest::QueryBuild(kShuttle, build, tag, u.c_str()));
  EXPECT_TRUE(UpdateServerRequest::GetBuild(kShuttle, tag.c_str(), "1200", payload, u.c_str(), true));
  EXPECT_TRUE(UpdateServerRequest::GetBuildList(kShuttle, builds, u.c_str()));
  EXPECT_TRUE(UpdateServerRequest::GetRecoveryInfo(fp, &serial, &recovery, u.c_str()));
  EXPECT_TRUE(UpdateServerRequest::GetDeviceJWT(kShuttle, token, u.c_str()));
  const std::vector<std::string> expected = {
      "/cgi/u?op=hi&rv=2&",
      "/cgi/u?op=qu&sn=40F5849A&",
      "/cgi/u?bld=1200&fw=shuttle&no_cal=true&op=bird&sn=40F5849A&",
      "/cgi/u?op=builds&sn=40F5849A&",
      "/cgi/u?brief=true&fp=0A0B0C0D%2011223344%2055667788%2099AABBCC&op=fix&",
      "/cgi/u?json=false&op=ent_jwt&sn=40F5849A&",
  };
  EXPECT_EQ(f.Requests(), expected);
  EXPECT_EQ(build, "1300");
  EXPECT_EQ(tag, "shuttle");
  EXPECT_EQ(builds, (BuildMap{{"1200", "2.10.3"}, {"1300", "2.11.0"}}));
  EXPECT_EQ(serial, kShuttle);
  EXPECT_EQ(recovery, 1300u);
  EXPECT_EQ(std::count(token.begin(), token.end(), '.'), 2);
  size_t size = 0;
  uint8_t* bytes = base64_decode(payload.data(), payload.size(), &size);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::memcmp(bytes, "bird", 4), 0);
  std::free(bytes);
}

TEST(UpdateServerRequest, FailuresAreLoggedAndLeaveOutputsAlone) {
  ServerFixture f;
  f.Start();
  const std::string u = f.Url();
  LogCapture log(DEBUG_ServerComm);
  f.server->SetFault("*", Fault::Status500);
  std::string build = "keep", tag = "keep", token = "keep";
  EXPECT_FALSE(UpdateServerRequest::ping(u.c_str()));
  EXPECT_TRUE(log.contains("PING ==> [500] [internal server error\n]\n"));
  EXPECT_FALSE(UpdateServerRequest::QueryBuild(kShuttle, build, tag, u.c_str()));
  EXPECT_TRUE(log.contains("QueryBuild ==> [500] [internal server error\n]\n"));
  EXPECT_EQ(build, "keep");

  f.server->SetFault("*", Fault::NotOk);
  EXPECT_FALSE(UpdateServerRequest::GetDeviceJWT(kShuttle, token, u.c_str()));
  EXPECT_TRUE(log.contains("ServerCommClass: GetDeviceJWT failed [" + u + "?json=false&op=ent_jwt&sn=40F5849A&]\n"));
  EXPECT_EQ(token, "keep");

  BuildMap builds{{"stale", "1.0.0"}};
  EXPECT_FALSE(UpdateServerRequest::GetBuildList(kShuttle, builds, u.c_str()));
  EXPECT_TRUE(builds.empty());  // emptied before the request

  const std::string closed = "http://127.0.0.1:" + std::to_string(UnusedLoopbackPort()) + "/cgi/u";
  EXPECT_FALSE(UpdateServerRequest::ping(closed.c_str()));
  EXPECT_TRUE(log.contains("ping ==> [Couldn't connect to server]\n"));
}

TEST(UpdateServerReplies, PingAndQueryBuild) {
  std::string build = "old", tag = "old";
  HTTPResponse okay = reply("okay");
  EXPECT_TRUE(UpdateServerRequest::ParseQueryBuild(okay, build, tag));
  EXPECT_EQ(build, "old");  // missing lines leave the outputs as they were
  HTTPResponse full = reply("ok\n1234\nshuttle-fw\r\n");
  EXPECT_TRUE(UpdateServerRequest::ParseQueryBuild(full, build, tag));
  EXPECT_EQ(build, "1234");
  EXPECT_EQ(tag, "shuttle-fw");
  HTTPResponse error = reply("error");
  EXPECT_FALSE(UpdateServerRequest::ParseQueryBuild(error, build, tag));
}

TEST(UpdateServerReplies, BuildPayloadAndBuildList) {
  std::string payload = "old";
  HTTPResponse none = reply("ok\n");
  EXPECT_TRUE(UpdateServerRequest::ParseGetBuild(none, payload));
  EXPECT_EQ(payload, "");
  HTTPResponse data = reply("ok\n\n\nYmlyZA==\nignored\n");
  EXPECT_TRUE(UpdateServerRequest::ParseGetBuild(data, payload));
  EXPECT_EQ(payload, "YmlyZA==");

  BuildMap builds;
  HTTPResponse list = reply("ok\n1200;1.2.3\nab\n1300\n1200;9.9.9\n;2.0.0\n1400;1.0.0;extra\r\n1500;3.1.4\r\n");
  EXPECT_TRUE(UpdateServerRequest::ParseGetBuildList(list, builds));
  EXPECT_EQ(builds, (BuildMap{{"1200", "1.2.3"}, {"1300", ""}, {"1400", "1.0.0"}, {"1500", "3.1.4"}}));
}

TEST(UpdateServerReplies, RecoveryInfoNeedsBothNumbers) {
  uint32_t serial = 7, build = 7;
  HTTPResponse good = reply("ok\n00ABCDEF\n0x10\n");
  EXPECT_TRUE(UpdateServerRequest::ParseGetRecoveryInfo(good, &serial, &build));
  EXPECT_EQ(serial, 0xABCDEFu);
  EXPECT_EQ(build, 16u);
  for (const char* bad : {"ok\n00ABCDEF\n", "ok\nXYZ\n12\n", "ok\n00ABCDEF\n12abc\n", "ok\n1FFFFFFFF\n1\n", "ok\n"}) {
    serial = 7;
    build = 7;
    HTTPResponse r = reply(bad);
    EXPECT_FALSE(UpdateServerRequest::ParseGetRecoveryInfo(r, &serial, &build)) << bad;
    EXPECT_EQ(serial, 7u) << bad;
    EXPECT_EQ(build, 7u) << bad;
  }
  HTTPResponse octal = reply("ok\nabc\r\n010\r\n");
  EXPECT_TRUE(UpdateServerRequest::ParseGetRecoveryInfo(octal, &serial, &build));
  EXPECT_EQ(serial, 0xABCu);
  EXPECT_EQ(build, 8u);
}

TEST(UpdateServerReplies, DeviceTokenMustBeWellFormed) {
  struct { const char* body; bool ok; const char* token; } cases[] = {
      {"ok\naa.bb.cc\r\n", true, "aa.bb.cc"},
      {"ok\na.b.c\n", false, "keep"},
      {"ok\naa.bb\n", false, "keep"},
      {"ok\naa.bb.cc.dd\n", false, "keep"},
      {"ok\naa..cc\n", false, "keep"},
      {"ok\n", false, "keep"},
  };
  for (const auto& c : cases) {
    std::string token = "keep";
    HTTPResponse r = reply(c.body);
    EXPECT_EQ(UpdateServerRequest::ParseGetDeviceJWT(r, token), c.ok) << c.body;
    EXPECT_EQ(token, c.token) << c.body;
  }
}

TEST(UpdateServerRequest, SortsNewestFirst) {
  const BuildList sorted = UpdateServerRequest::SortBuildsByVersion({{"a", "1.2.3"}, {"b", "1.10.0"}, {"c", "1.2.10"}});
  EXPECT_EQ(sorted, (BuildList{{"b", "1.10.0"}, {"c", "1.2.10"}, {"a", "1.2.3"}}));
}

TEST(Base64, RoundTripsAndRefusesWhatIsNotBase64) {
  for (size_t n = 0; n < 40; ++n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(i * 37 + 11));
    size_t encoded_length = 0, decoded_length = 0;
    char* text = base64_encode(reinterpret_cast<const uint8_t*>(bytes.data()), n, &encoded_length);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(encoded_length, (n + 2) / 3 * 4);
    uint8_t* back = base64_decode(text, encoded_length, &decoded_length);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), decoded_length), bytes);
    EXPECT_EQ(back[decoded_length], 0);
    std::free(text);
    std::free(back);
  }
  size_t length = 99;
  char* hello = base64_encode(reinterpret_cast<const uint8_t*>("hello"), 5, &length);
  EXPECT_STREQ(hello, "aGVsbG8=");
  std::free(hello);
  uint8_t* two = base64_decode("YQ==", 4, &length);
  EXPECT_EQ(length, 1u);  // three quarters of 4, less two for the padding
  std::free(two);
  for (const char* bad : {"YWJjZ", "YW=j", "Y===", "=YWJ", "YW*j", "YWJj\nZGVm", "YW J"}) {
    EXPECT_EQ(base64_decode(bad, std::strlen(bad), &length), nullptr) << bad;
    EXPECT_EQ(length, 0u);
  }
}
