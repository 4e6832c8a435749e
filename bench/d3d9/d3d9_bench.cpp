// Device benchmarks under Xvfb (llvmpipe):
//  - EmptyFrame: Clear + Present of a 1024 x 768 windowed back buffer, as frames per second;
//  - DeviceDraws / RawOpenGlDraws: 1,000 small draws of a transformed 4-vertex strip
//    through the device (SetTransform + DrawPrimitive) and the same draws made directly
//    in OpenGL on the device's context; the ratio of the two is the device's overhead.
// Run: bash tests/e2e/with_xvfb.sh build-<name>/bench/d3d9/d3d9_bench
#include <d3d9.h>

#include <tavrok/d3d9_debug.h>

#include "support/device_setup.h"

#include <benchmark/benchmark.h>

namespace {

// A HAL device on a 1024 x 768 window, made by the tests' shared set-up.
struct Device {
    HWND window = testsupport::CreateTestWindow(1024, 768);
    IDirect3D9 *d3d = nullptr;
    IDirect3DDevice9 *device = nullptr;

    Device()
    {
        if (!window || FAILED(testsupport::CreateDevice(D3DDEVTYPE_HAL, &d3d, &device, window, 1024, 768)))
            device = nullptr;
    }
    ~Device()
    {
        if (device)
            device->Release();
        if (d3d)
            d3d->Release();
        if (window)
            DestroyWindow(window);
    }
};

void EmptyFrame(benchmark::State &state)
{
    Device d;
    if (!d.device) {
        state.SkipWithError("no device (is there a display?)");
        return;
    }
    for (auto _ : state) {
        d.device->Clear(0, NULL, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        d.device->BeginScene();
        d.device->EndScene();
        d.device->Present(NULL, NULL, NULL, NULL);
    }
    tavrok::d3d9::FinishOpenGl(d.device);
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(EmptyFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr int kDraws = 1000;

void DeviceDraws(benchmark::State &state)
{
    Device d;
    if (!d.device) {
        state.SkipWithError("no device");
        return;
    }
    IDirect3DVertexBuffer9 *vb = nullptr;
    d.device->CreateVertexBuffer(4 * 12, D3DUSAGE_WRITEONLY, D3DFVF_XYZ, D3DPOOL_MANAGED, &vb, NULL);
    float *v;
    vb->Lock(0, 0, reinterpret_cast<void **>(&v), 0);
    float quad[12] = {-0.01f, 0.01f, 0.5f, 0.01f, 0.01f, 0.5f, -0.01f, -0.01f, 0.5f, 0.01f, -0.01f, 0.5f};
    memcpy(v, quad, sizeof quad);
    vb->Unlock();
    d.device->SetFVF(D3DFVF_XYZ);
    d.device->SetStreamSource(0, vb, 0, 12);
    d.device->SetRenderState(D3DRS_LIGHTING, FALSE);
    D3DMATRIX m = {};
    m._11 = m._22 = m._33 = m._44 = 1;
    for (auto _ : state) {
        d.device->BeginScene();
        for (int i = 0; i < kDraws; i++) {
            m._41 = float(i % 100) / 50.0f - 1.0f;
            m._42 = float(i / 100) / 10.0f - 1.0f;
            d.device->SetTransform(D3DTS_WORLD, &m);
            d.device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
        }
        d.device->EndScene();
        tavrok::d3d9::FinishOpenGl(d.device);
    }
    d.device->SetStreamSource(0, NULL, 0, 0);
    vb->Release();
    state.SetItemsProcessed(state.iterations() * kDraws);
}
BENCHMARK(DeviceDraws)->Unit(benchmark::kMicrosecond)->UseRealTime();

void RawOpenGlDraws(benchmark::State &state)
{
    Device d;
    if (!d.device) {
        state.SkipWithError("no device");
        return;
    }
    for (auto _ : state) {
        tavrok::d3d9::DrawRawOpenGlQuads(d.device, kDraws);
        tavrok::d3d9::FinishOpenGl(d.device);
    }
    state.SetItemsProcessed(state.iterations() * kDraws);
}
BENCHMARK(RawOpenGlDraws)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
