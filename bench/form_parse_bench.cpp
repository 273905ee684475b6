// Form parsing as the reader does it for a POST: URL-encoded pairs and multipart
// sections with 256-byte names, every name listed in FIELDNAMES and every field
// repeated once (so joined values grow). Run with 8k, 16k and 32k fields: the time
// per field must stay flat (linear growth of the whole). The field cap is raised
// so that every field is parsed.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "support/byte_buffer.h"
#include "engine/server/request_reader.h"
#include "support/server_settings.h"

namespace {

class UncappedSettings : public CServerSettings {
public:
    UncappedSettings() : CServerSettings(nullptr) {}
    std::string GetString(const std::string&, const std::string&, const std::string& defaultValue) override {
        return defaultValue;
    }
    long GetNumber(const std::string& section, const std::string& name, long defaultValue) override {
        return section == "Server" && name == "MaxFormFields" ? 1000000 : defaultValue;
    }
    CRegistrySettings* GetRegistrySettings() override { return nullptr; }
};

class MemoryReader : public CRequestReader {
public:
    MemoryReader(CServerSettings* settings, std::string environment, const std::string* body)
        : CRequestReader(settings), env_(std::move(environment)), body_(body) {}

protected:
    void ReadEnvironment() override { SplitEnvironmentBlock(env_.data(), env_.size()); }
    void ReadContent(CByteBuffer& buffer) override { buffer.Append(body_->data(), body_->size()); }

private:
    std::string env_;
    const std::string* body_;
};

std::string Environment(const std::string& type, std::size_t length) {
    std::string b;
    for (const std::string& e :
         {std::string("REQUEST_METHOD=POST"), "CONTENT_TYPE=" + type, "CONTENT_LENGTH=" + std::to_string(length)})
        b += e + std::string(1, '\0');
    return b + std::string(1, '\0');
}

std::string FieldName(long i) {
    std::string n = "f" + std::to_string(i / 2);  // each name twice
    return n + std::string(256 - n.size(), 'x');
}

void BM_UrlEncodedFields(benchmark::State& state) {
    const long fields = state.range(0);
    std::string body;
    for (long i = 0; i < fields; ++i) body += FieldName(i) + "=v" + std::to_string(i) + "&";
    UncappedSettings settings;
    const std::string env = Environment("application/x-www-form-urlencoded", body.size());
    for (auto _ : state) {
        MemoryReader reader(&settings, env, &body);
        reader.ParseCgiEnvironment();
        benchmark::DoNotOptimize(reader.GetFormFields().GetCount());
    }
    state.SetItemsProcessed(state.iterations() * fields);
}

void BM_MultipartFields(benchmark::State& state) {
    const long fields = state.range(0);
    std::string body;
    for (long i = 0; i < fields; ++i)
        body += "--B\r\nContent-Disposition: form-data; name=\"" + FieldName(i) + "\"\r\n\r\nv" + std::to_string(i) +
                "\r\n";
    body += "--B--\r\n";
    UncappedSettings settings;
    const std::string env = Environment("multipart/form-data; boundary=B", body.size());
    for (auto _ : state) {
        MemoryReader reader(&settings, env, &body);
        reader.ParseCgiEnvironment();
        benchmark::DoNotOptimize(reader.GetFormFields().GetCount());
    }
    state.SetItemsProcessed(state.iterations() * fields);
}

}  // namespace

BENCHMARK(BM_UrlEncodedFields)->Arg(8000)->Arg(16000)->Arg(32000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MultipartFields)->Arg(8000)->Arg(16000)->Arg(32000)->Unit(benchmark::kMillisecond);
