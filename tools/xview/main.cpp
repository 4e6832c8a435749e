/*
 * xview - looks at an .x file: its frames, skinned meshes and animation sets, drawn with
 * the fixed-function pipeline, through the same headers a Direct3D 9 program uses.
 *
 *   xview FILE.x                     a window: dragging with the left button or the arrows
 *                                    orbit, the wheel or Page Up/Down zoom, Space (or N)
 *                                    plays the next animation set, P pauses, S steps 1/30 s,
 *                                    W toggles wireframe, B the bones, Escape quits; an
 *                                    overlay names the set, its period and the time
 *   xview --shot OUT.png [--set NAME] [--time S] FILE.x
 *                                    one picture of set NAME (the first by default) at S
 *                                    seconds (0 by default), then exit
 *   --clips CLIPS.x (before FILE.x, as many as wanted) adds the animation sets of a file
 *   that holds clips alone; their tracks drive FILE.x's frames of the same names.
 *   --blend draws skinned meshes by the device's indexed vertex blending: each is converted
 *   once (ConvertToIndexedBlendedMesh, a palette of the device's blend matrices) and each
 *   bone combination drawn with its palette in D3DTS_WORLDMATRIX(0..n), instead of being
 *   skinned in software every frame.  A mesh that cannot be converted is skinned in
 *   software, with one line saying so.
 *
 * It is written the way a Direct3D 9 skinned-mesh viewer is (model.h, model.cpp):
 * D3DXLoadMeshHierarchyFromX reads the file through xview's ID3DXAllocateHierarchy, whose
 * frames carry a combined matrix and whose mesh containers keep the materials, the
 * textures, the skin info and the skinned copy (or the converted blended mesh).  Each
 * bone is found with D3DXFrameFind; a bone naming no frame is left at rest, with one line
 * naming the file, the mesh and the bone.  The loader's ID3DXAnimationController plays the
 * sets on track 0: --set picks one with GetAnimationSetByName and SetTrackAnimationSet,
 * --time is the track position, the window's clock is AdvanceTime, and the overlay shows
 * the set's GetPeriod.  A clips file is loaded the same way and its sets registered on the
 * model's controller (cloned with room for them), so that they drive the model's frames of
 * the same names.  Textures are looked for beside the file, each component in any case (a
 * name with a drive or a root is taken by its last component); a missing one is drawn
 * untextured.  A mesh without normals gets them from its faces (D3DXComputeNormals).
 * --shot renders one frame with the renderer's capture switch and moves the picture to
 * OUT.  Exit status: 0, 1 when the file gives nothing to draw or the picture could not be
 * made, 2 for bad usage.
 */
#include "model.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

void Say(const std::string &file, const std::string &reason)
{
    fprintf(stderr, "xview: %s: %s\n", file.c_str(), reason.c_str());
}

namespace {

const UINT kWidth = 640, kHeight = 480;

struct View {
    float yaw = 0.6f, pitch = 0.35f, distance = 3.0f;
    D3DXVECTOR3 center{0, 0, 0};
    float radius = 1;
    bool wireframe = false, bones = false;
};

struct LineVertex {
    float x, y, z;
    D3DCOLOR color;
};

// A line from the frame's origin to each child's, for the frame and its descendants.
void AddBoneLines(const SFrame *frame, std::vector<LineVertex> &lines)
{
    for (auto *c = static_cast<const SFrame *>(frame->pFrameFirstChild); c;
         c = static_cast<const SFrame *>(c->pFrameSibling)) {
        const D3DXMATRIX &a = c->combined, &b = frame->combined;
        lines.push_back({b._41, b._42, b._43, D3DCOLOR_XRGB(255, 220, 0)});
        lines.push_back({a._41, a._42, a._43, D3DCOLOR_XRGB(255, 90, 0)});
        AddBoneLines(c, lines);
    }
}

// The frame tree as lines from each frame's origin to its parent's, over the model.  An
// unnamed root (the one the loader puts over several top-level objects) gets no lines to
// its children: they are the file's top-level frames.
void RenderBones(IDirect3DDevice9 *device, const SFrame *root)
{
    std::vector<LineVertex> lines;
    const SFrame *top = root->Name ? root : static_cast<const SFrame *>(root->pFrameFirstChild);
    for (const SFrame *f = top; f; f = static_cast<const SFrame *>(f->pFrameSibling))
        AddBoneLines(f, lines);
    if (lines.empty())
        return;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_WORLD, &identity);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->DrawPrimitiveUP(D3DPT_LINELIST, UINT(lines.size() / 2), lines.data(), sizeof(LineVertex));
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
}

// A converted skinned mesh, one bone combination at a time: its palette of bone matrices as
// the world matrices the vertices' indices name, its material and texture.
void RenderBlended(IDirect3DDevice9 *device, const SMeshContainer &p)
{
    const auto *combination = static_cast<const D3DXBONECOMBINATION *>(p.combinations->GetBufferPointer());
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_VERTEXBLEND, p.vertexInfluences > 1 ? p.vertexInfluences - 1 : DWORD(D3DVBF_0WEIGHTS));
    for (DWORD c = 0; c < p.numCombinations; ++c) {
        for (DWORD slot = 0; slot < p.paletteSize; ++slot)
            if (combination[c].BoneId[slot] != UINT_MAX)
                device->SetTransform(D3DTS_WORLDMATRIX(slot), &p.boneMatrices[combination[c].BoneId[slot]]);
        const size_t material = std::min<size_t>(combination[c].AttribId, p.NumMaterials - 1);
        device->SetMaterial(&p.pMaterials[material].MatD3D);
        device->SetTexture(0, p.textures[material]);
        p.blended->DrawSubset(c);
    }
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    device->SetRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, FALSE);
}

// Each mesh container of the frame and its descendants: a skinned one in world space as
// its bones put it, any other placed by its frame.
void RenderFrames(IDirect3DDevice9 *device, const SFrame *frame)
{
    for (; frame; frame = static_cast<const SFrame *>(frame->pFrameSibling)) {
        for (const D3DXMESHCONTAINER *m = frame->pMeshContainer; m; m = m->pNextMeshContainer) {
            const auto &mc = *static_cast<const SMeshContainer *>(m);
            D3DXMATRIX world;
            D3DXMatrixIdentity(&world);
            if (!mc.IsSkinned())
                world = frame->combined;
            device->SetTransform(D3DTS_WORLD, &world);
            if (mc.blended) {
                RenderBlended(device, mc);
                continue;
            }
            ID3DXMesh *mesh = mc.skinned ? mc.skinned : mc.MeshData.pMesh;
            for (DWORD i = 0; i < mc.NumMaterials; ++i) {
                device->SetMaterial(&mc.pMaterials[i].MatD3D);
                device->SetTexture(0, mc.textures[i]);
                mesh->DrawSubset(i);
            }
        }
        RenderFrames(device, static_cast<const SFrame *>(frame->pFrameFirstChild));
    }
}

void Render(IDirect3DDevice9 *device, const CModel &m, const View &v, ID3DXFont *font = nullptr,
            const std::string &overlay = "")
{
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(48, 56, 72), 1.0f, 0);
    if (FAILED(device->BeginScene()))
        return;
    D3DXMATRIX view, proj;
    D3DXVECTOR3 eye(v.center.x + v.distance * v.radius * std::cos(v.pitch) * std::sin(v.yaw),
                    v.center.y + v.distance * v.radius * std::sin(v.pitch),
                    v.center.z - v.distance * v.radius * std::cos(v.pitch) * std::cos(v.yaw));
    D3DXVECTOR3 up(0, 1, 0);
    D3DXMatrixLookAtLH(&view, &eye, &v.center, &up);
    D3DXMatrixPerspectiveFovLH(&proj, D3DX_PI / 4, float(kWidth) / float(kHeight), v.radius * 0.01f,
                               v.radius * (v.distance + 2) * 2);
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = D3DXVECTOR3(-0.4f, -0.8f, 0.45f);
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, D3DCOLOR_XRGB(70, 70, 70));
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
    device->SetRenderState(D3DRS_FILLMODE, v.wireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
    RenderFrames(device, m.Root());
    device->SetTexture(0, nullptr);
    if (v.bones)
        RenderBones(device, m.Root());
    if (font && !overlay.empty()) {
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        RECT r = {8, 6, 0, 0};
        font->DrawTextA(nullptr, overlay.c_str(), -1, &r, DT_NOCLIP, D3DCOLOR_XRGB(235, 235, 235));
        device->SetRenderState(D3DRS_ZENABLE, TRUE);
    }
    device->EndScene();
}

View *g_view = nullptr;
bool g_next = false, g_pause = false, g_step = false;
bool g_dragging = false;
int g_dragX = 0, g_dragY = 0;

LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    if (msg == WM_KEYDOWN && g_view) {
        switch (wParam) {
        case VK_LEFT: g_view->yaw -= 0.1f; break;
        case VK_RIGHT: g_view->yaw += 0.1f; break;
        case VK_UP: g_view->pitch = std::min(g_view->pitch + 0.1f, 1.5f); break;
        case VK_DOWN: g_view->pitch = std::max(g_view->pitch - 0.1f, -1.5f); break;
        case VK_PRIOR: g_view->distance = std::max(g_view->distance * 0.9f, 0.5f); break;
        case VK_NEXT: g_view->distance *= 1.1f; break;
        case VK_SPACE:
        case 'N': g_next = true; break;
        case 'P': g_pause = !g_pause; break;
        case 'S': g_pause = g_step = true; break;
        case 'W': g_view->wireframe = !g_view->wireframe; break;
        case 'B': g_view->bones = !g_view->bones; break;
        case VK_ESCAPE: PostQuitMessage(0); break;
        }
        return 0;
    }
    // The orbit on the mouse: dragging with the left button turns round the model, the
    // wheel moves nearer or farther.
    if (g_view && (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP || msg == WM_MOUSEMOVE)) {
        int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
        if (msg == WM_MOUSEMOVE && g_dragging) {
            g_view->yaw += 0.01f * float(x - g_dragX);
            g_view->pitch = std::max(-1.5f, std::min(1.5f, g_view->pitch + 0.01f * float(y - g_dragY)));
        }
        if (msg != WM_MOUSEMOVE)
            g_dragging = msg == WM_LBUTTONDOWN;
        g_dragX = x, g_dragY = y;
        return 0;
    }
    if (g_view && msg == WM_MOUSEWHEEL) {
        g_view->distance = std::max(0.5f, g_view->distance * (short(HIWORD(wParam)) > 0 ? 0.9f : 1.1f));
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// The overlay's lines: the set playing with its period, the time, and the keys.
std::string Overlay(const CModel &m, bool paused)
{
    char line[256];
    std::string text;
    if (m.NumSets() == 0) {
        text = "no animation sets\n";
    } else {
        snprintf(line, sizeof line, "set %u of %u: %s, %.2f s\n", m.SetIndex() + 1, m.NumSets(), m.SetName().c_str(),
                 m.SetPeriod());
        text = line;
        snprintf(line, sizeof line, "time %.2f s%s\n", m.Position(), paused ? ", paused" : "");
        text += line;
    }
    return text + "Space: next set  P: pause  S: step  W: wireframe  B: bones  drag, wheel, arrows: orbit";
}

// The window's loop: the controller advanced by the time between frames (none while
// paused, 1/30 s for a step), the next set from its start on Space or N.
void Play(IDirect3DDevice9 *device, CModel &model, const View &view)
{
    ID3DXFont *font = nullptr;
    if (FAILED(D3DXCreateFontA(device, -14, 0, FW_NORMAL, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "DejaVu Sans", &font)))
        font = nullptr;  // the viewer goes on without its overlay
    model.PlaySet(0, 0);
    DWORD last = timeGetTime();
    for (;;) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            continue;
        }
        DWORD now = timeGetTime();
        double delta = g_pause ? 0.0 : (now - last) / 1000.0;
        last = now;
        if (g_step)
            delta += 1.0 / 30.0;  // one step of a 30 frames a second animation
        g_step = false;
        if (g_next && model.NumSets() > 0)
            model.PlaySet((model.SetIndex() + 1) % model.NumSets(), 0);
        else
            model.Advance(delta);
        g_next = false;
        Render(device, model, view, font, Overlay(model, g_pause));
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    if (font)
        font->Release();
}

int Usage()
{
    fprintf(stderr,
            "usage: xview [--shot OUT.png [--set NAME] [--time SECONDS]] [--clips CLIPS.x]... [--blend] FILE.x\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string shot, setName, file;
    std::vector<std::string> clipFiles;
    double time = 0;
    bool blend = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--blend") {
            blend = true;
        } else if ((a == "--shot" || a == "--set" || a == "--time" || a == "--clips") && i + 1 < argc) {
            std::string value = argv[++i];
            if (a == "--shot")
                shot = value;
            else if (a == "--clips")
                clipFiles.push_back(value);
            else if (a == "--set")
                setName = value;
            else {
                char *end = nullptr;
                time = strtod(value.c_str(), &end);
                if (!end || *end || time < 0)
                    return Usage();
            }
        } else if (a.empty() || a[0] == '-' || !file.empty()) {
            return Usage();
        } else {
            file = a;
        }
    }
    if (file.empty() || ((!setName.empty() || time > 0) && shot.empty()))
        return Usage();

    // A picture is the renderer's capture of the first presented frame, in a fresh folder.
    std::string captureFolder;
    if (!shot.empty()) {
        char pattern[] = "/tmp/xviewXXXXXX";
        if (!mkdtemp(pattern))
            return 1;
        captureFolder = pattern;
        setenv("TAVROK_CAPTURE", captureFolder.c_str(), 1);
    }

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_CLASSDC;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = "xview";
    if (!RegisterClassExA(&wc))
        return 1;
    HWND hWnd = CreateWindowExA(0, "xview", ("xview - " + file).c_str(), WS_OVERLAPPEDWINDOW, 0, 0, int(kWidth),
                                int(kHeight), nullptr, nullptr, instance, nullptr);
    if (!hWnd)
        return 1;
    ShowWindow(hWnd, SW_SHOWNORMAL);
    IDirect3D9 *d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferWidth = kWidth;
    pp.BackBufferHeight = kHeight;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.EnableAutoDepthStencil = TRUE;
    pp.AutoDepthStencilFormat = D3DFMT_D16;
    pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
    IDirect3DDevice9 *device = nullptr;
    if (!d3d || FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, hWnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                         &pp, &device))) {
        Say(file, "no Direct3D device");
        return 1;
    }

    int status = 0;
    {
        CModel model(device, file);
        if (!model.Load(blend)) {
            Say(file, "nothing to draw");
            status = 1;
        } else {
            // The view is framed on the rest pose.
            View view;
            model.Bounds(&view.center, &view.radius);
            for (const std::string &f : clipFiles)
                model.AddClips(f);
            UINT set = 0;
            if (!setName.empty() && (set = model.FindSet(setName)) == model.NumSets()) {
                Say(file, "no animation set '" + setName + "'");
                status = 1;
            }
            g_view = &view;
            if (status == 0 && !shot.empty()) {
                model.PlaySet(set, time);
                Render(device, model, view);
                device->Present(nullptr, nullptr, nullptr, nullptr);
            } else if (status == 0) {
                Play(device, model, view);
            }
            g_view = nullptr;
        }
    }
    device->Release();
    d3d->Release();
    DestroyWindow(hWnd);

    if (!captureFolder.empty()) {
        std::string frame = captureFolder + "/frame_000000.png";
        if (status == 0 && rename(frame.c_str(), shot.c_str()) != 0) {
            // Another file system: copy the bytes.
            FILE *in = fopen(frame.c_str(), "rb"), *out = in ? fopen(shot.c_str(), "wb") : nullptr;
            char buf[65536];
            size_t n = 0;
            while (in && out && (n = fread(buf, 1, sizeof buf, in)) > 0)
                fwrite(buf, 1, n, out);
            if (!in || !out) {
                Say(file, "no picture was made for " + shot);
                status = 1;
            }
            if (in)
                fclose(in);
            if (out)
                fclose(out);
            unlink(frame.c_str());
        }
        rmdir(captureFolder.c_str());
    }
    return status;
}
