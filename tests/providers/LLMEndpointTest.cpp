#include "providers/LLMEndpoint.h"

#include <gtest/gtest.h>

namespace {

const char *variable = "GLINT_TEST_BASE_URL";

LLMEndpoint resolve(const char *configured)
{
    if (configured)
        qputenv(variable, configured);
    else
        qunsetenv(variable);
    const LLMEndpoint endpoint = LLMEndpoint::resolve(variable, u"https://api.example.com"_qs, u"/v1/messages"_qs);
    qunsetenv(variable);
    return endpoint;
}

TEST(LLMEndpoint, TheEnvironmentReplacesTheBaseAndKeepsThePath)
{
    EXPECT_EQ(resolve(nullptr).url().toString(), u"https://api.example.com/v1/messages");
    EXPECT_EQ(resolve("http://127.0.0.1:8080").url().toString(), u"http://127.0.0.1:8080/v1/messages");
    EXPECT_EQ(resolve("https://proxy.example.org/anthropic/").url().toString(),
              u"https://proxy.example.org/anthropic/v1/messages");
}

TEST(LLMEndpoint, PlainHttpOnlyForLoopbackHosts)
{
    for (const char *loopback : {"http://127.0.0.1:1", "http://127.8.9.10", "http://localhost:9", "http://[::1]:9"})
        EXPECT_TRUE(resolve(loopback).isUsable()) << loopback;
    for (const char *remote : {"http://192.0.2.7", "http://example.com", "http://localhost.example.com"}) {
        EXPECT_FALSE(resolve(remote).isUsable()) << remote;
        EXPECT_TRUE(resolve(remote).error().contains(u"plain http")) << remote;
    }
    for (const char *broken : {"ftp://127.0.0.1", "not a url", "https://"})
        EXPECT_TRUE(resolve(broken).error().startsWith(u"Invalid service address in GLINT_TEST_BASE_URL")) << broken;
}

TEST(LLMEndpoint, AServerFromTheSettingsMayBeAllowedPlainHttp)
{
    const QString path = u"/chat/completions"_qs;
    EXPECT_EQ(LLMEndpoint::fromSettings(u" http://localhost:11434/v1/ "_qs, path, false).url().toString(),
              u"http://localhost:11434/v1/chat/completions");
    EXPECT_EQ(LLMEndpoint::fromSettings(u""_qs, path, false).error(),
              u"No server address configured. Add it in Settings.");
    const LLMEndpoint refused = LLMEndpoint::fromSettings(u"http://192.168.1.20:8080/v1"_qs, path, false);
    EXPECT_TRUE(refused.error().endsWith(u"or allow an unencrypted connection to this server in Settings"))
        << refused.error().toStdString();
    EXPECT_EQ(LLMEndpoint::fromSettings(u"http://192.168.1.20:8080/v1"_qs, path, true).url().toString(),
              u"http://192.168.1.20:8080/v1/chat/completions");
}

} // namespace
