/*
 * keyframed_animation_set.cpp - ID3DXKeyframedAnimationSet and
 * D3DXCreateKeyframedAnimationSet.
 *
 * A set holds, per animation (one animated output, found by name), its scale, rotation and
 * translation keys, each list kept in ascending time (keys registered out of order are
 * sorted; a key set to a time out of order is refused), and its callback keys.  Key times
 * are in the set's ticks; positions handed in and out are in seconds, ticks divided by
 * the ticks per second.  The period is the time of the last key of any list.  GetSRT holds
 * the first key before it and the last key after it and, between two keys, lerps scale and
 * translation and slerps rotation (the shorter way round); a channel without keys is the
 * identity (scale 1, no rotation, no translation).  GetCallback searches the callback
 * keys as the playback type repeats them: every period for a loop, forwards then
 * mirrored for ping-pong, once for a one-shot set.  Compress is not provided (it says so
 * and returns E_NOTIMPL).
 */
#include "mesh_private.h"

#include <d3dx9anim.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>


namespace tavrok::d3dx9mesh {
namespace {

struct Animation {
    std::string name;
    std::vector<D3DXKEY_VECTOR3> scale;
    std::vector<D3DXKEY_QUATERNION> rotation;
    std::vector<D3DXKEY_VECTOR3> translation;
};

template <class Key>
bool ByTime(const Key &a, const Key &b)
{
    return a.Time < b.Time;
}

// The value of one key list at `ticks`: held before the first and after the last key,
// blended by `mix` between the two keys around it.
template <class Key, class Value, class Mix>
Value Sample(const std::vector<Key> &keys, double ticks, const Value &none, Mix mix)
{
    if (keys.empty())
        return none;
    if (ticks <= keys.front().Time)
        return keys.front().Value;
    if (ticks >= keys.back().Time)
        return keys.back().Value;
    // The first key later than `ticks`; the one before it is at or before `ticks`.
    auto after = std::upper_bound(keys.begin(), keys.end(), ticks,
                                  [](double t, const Key &k) { return t < double(k.Time); });
    const Key &b = *after;
    const Key &a = *(after - 1);
    const double span = double(b.Time) - double(a.Time);
    const float f = span > 0.0 ? float((ticks - a.Time) / span) : 0.0f;
    return mix(a.Value, b.Value, f);
}

D3DXVECTOR3 LerpVector(const D3DXVECTOR3 &a, const D3DXVECTOR3 &b, float f)
{
    D3DXVECTOR3 r;
    D3DXVec3Lerp(&r, &a, &b, f);
    return r;
}

D3DXQUATERNION SlerpRotation(const D3DXQUATERNION &a, const D3DXQUATERNION &b, float f)
{
    D3DXQUATERNION r;
    D3DXQuaternionSlerp(&r, &a, &b, f);
    return r;
}

class CKeyframedAnimationSet final : public RefCounted<ID3DXKeyframedAnimationSet> {
public:
    CKeyframedAnimationSet(const char *name, double ticksPerSecond, D3DXPLAYBACK_TYPE playback, UINT capacity,
                           const D3DXKEY_CALLBACK *callbacks, UINT numCallbacks)
        : name_(name ? name : ""), ticksPerSecond_(ticksPerSecond), playback_(playback), capacity_(capacity),
          callbacks_(callbacks, callbacks + numCallbacks)
    {
        std::stable_sort(callbacks_.begin(), callbacks_.end(), ByTime<D3DXKEY_CALLBACK>);
        UpdatePeriod();
    }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_ID3DXAnimationSet && riid != IID_ID3DXKeyframedAnimationSet)
            return E_NOINTERFACE;
        AddRef();
        *object = static_cast<ID3DXKeyframedAnimationSet *>(this);
        return S_OK;
    }

    // ID3DXAnimationSet
    STDMETHODIMP_(LPCSTR) GetName() override { return name_.c_str(); }
    STDMETHODIMP_(DOUBLE) GetPeriod() override { return period_; }

    STDMETHODIMP_(DOUBLE) GetPeriodicPosition(DOUBLE position) override
    {
        if (!(period_ > 0.0) || !std::isfinite(position))
            return 0.0;
        switch (playback_) {
        case D3DXPLAY_ONCE:
            return std::clamp(position, 0.0, period_);
        case D3DXPLAY_PINGPONG: {
            double r = std::fmod(position, 2.0 * period_);
            if (r < 0.0)
                r += 2.0 * period_;
            return r > period_ ? 2.0 * period_ - r : r;
        }
        default: {
            double r = std::fmod(position, period_);
            return r < 0.0 ? r + period_ : r;
        }
        }
    }

    STDMETHODIMP_(UINT) GetNumAnimations() override { return UINT(animations_.size()); }

    STDMETHODIMP GetAnimationNameByIndex(UINT index, LPCSTR *name) override
    {
        if (!name || index >= animations_.size()) {
            if (name)
                *name = nullptr;
            return Invalid("GetAnimationNameByIndex", "no such animation, or no name pointer");
        }
        *name = animations_[index].name.c_str();
        return D3D_OK;
    }

    STDMETHODIMP GetAnimationIndexByName(LPCSTR name, UINT *index) override
    {
        if (!name || !index)
            return Invalid("GetAnimationIndexByName", "a name and an index pointer are needed");
        for (size_t i = 0; i < animations_.size(); ++i)
            if (animations_[i].name == name) {
                *index = UINT(i);
                return D3D_OK;
            }
        return D3DERR_NOTFOUND;  // a question, not a fault: the controller asks for every output
    }

    STDMETHODIMP GetSRT(DOUBLE periodicPosition, UINT animation, D3DXVECTOR3 *scale, D3DXQUATERNION *rotation,
                        D3DXVECTOR3 *translation) override
    {
        if (animation >= animations_.size())
            return Invalid("GetSRT", "no such animation");
        const Animation &a = animations_[animation];
        const double ticks = periodicPosition * ticksPerSecond_;
        if (scale)
            *scale = Sample(a.scale, ticks, D3DXVECTOR3(1.0f, 1.0f, 1.0f), LerpVector);
        if (rotation)
            *rotation = Sample(a.rotation, ticks, D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f), SlerpRotation);
        if (translation)
            *translation = Sample(a.translation, ticks, D3DXVECTOR3(0.0f, 0.0f, 0.0f), LerpVector);
        return D3D_OK;
    }

    STDMETHODIMP GetCallback(DOUBLE position, DWORD flags, DOUBLE *callbackPosition, LPVOID *callbackData) override
    {
        if (callbacks_.empty() || !std::isfinite(position))
            return D3DERR_NOTFOUND;
        // The callbacks of one repetition, in seconds, and how long a repetition lasts
        // (none for a one-shot set or a set without length).
        std::vector<std::pair<double, void *>> cycle;
        for (const D3DXKEY_CALLBACK &k : callbacks_)
            cycle.emplace_back(k.Time / ticksPerSecond_, k.pCallbackData);
        double length = period_;
        if (playback_ == D3DXPLAY_PINGPONG) {
            for (auto it = callbacks_.rbegin(); it != callbacks_.rend(); ++it) {
                const double mirrored = 2.0 * period_ - it->Time / ticksPerSecond_;
                if (mirrored > cycle.back().first && mirrored < 2.0 * period_)
                    cycle.emplace_back(mirrored, it->pCallbackData);
            }
            length = 2.0 * period_;
        }
        const bool repeats = playback_ != D3DXPLAY_ONCE && length > 0.0;
        const bool excluding = (flags & D3DXCALLBACK_SEARCH_EXCLUDING_INITIAL_POSITION) != 0;
        const double base = repeats ? std::floor(position / length) * length : 0.0;
        const double local = position - base;
        const std::pair<double, void *> *found = nullptr;
        double at = 0.0;
        if (flags & D3DXCALLBACK_SEARCH_BEHIND_INITIAL_POSITION) {
            for (auto it = cycle.rbegin(); it != cycle.rend() && !found; ++it)
                if (excluding ? it->first < local : it->first <= local) {
                    found = &*it;
                    at = base + it->first;
                }
            if (!found && repeats && base - length + cycle.back().first >= 0.0) {
                found = &cycle.back();
                at = base - length + found->first;
            }
        } else {
            for (const auto &c : cycle)
                if (excluding ? c.first > local : c.first >= local) {
                    found = &c;
                    at = base + c.first;
                    break;
                }
            if (!found && repeats) {
                found = &cycle.front();
                at = base + length + found->first;
            }
        }
        if (!found)
            return D3DERR_NOTFOUND;
        if (callbackPosition)
            *callbackPosition = at;
        if (callbackData)
            *callbackData = found->second;
        return D3D_OK;
    }

    // ID3DXKeyframedAnimationSet
    STDMETHODIMP_(D3DXPLAYBACK_TYPE) GetPlaybackType() override { return playback_; }
    STDMETHODIMP_(DOUBLE) GetSourceTicksPerSecond() override { return ticksPerSecond_; }

    STDMETHODIMP_(UINT) GetNumScaleKeys(UINT animation) override
    {
        return animation < animations_.size() ? UINT(animations_[animation].scale.size()) : 0;
    }
    STDMETHODIMP GetScaleKeys(UINT animation, LPD3DXKEY_VECTOR3 keys) override
    {
        return CopyKeys("GetScaleKeys", animation, &Animation::scale, keys);
    }
    STDMETHODIMP GetScaleKey(UINT animation, UINT key, LPD3DXKEY_VECTOR3 out) override
    {
        return GetKey("GetScaleKey", animation, key, &Animation::scale, out);
    }
    STDMETHODIMP SetScaleKey(UINT animation, UINT key, LPD3DXKEY_VECTOR3 in) override
    {
        return SetKey("SetScaleKey", animation, key, &Animation::scale, in);
    }

    STDMETHODIMP_(UINT) GetNumRotationKeys(UINT animation) override
    {
        return animation < animations_.size() ? UINT(animations_[animation].rotation.size()) : 0;
    }
    STDMETHODIMP GetRotationKeys(UINT animation, LPD3DXKEY_QUATERNION keys) override
    {
        return CopyKeys("GetRotationKeys", animation, &Animation::rotation, keys);
    }
    STDMETHODIMP GetRotationKey(UINT animation, UINT key, LPD3DXKEY_QUATERNION out) override
    {
        return GetKey("GetRotationKey", animation, key, &Animation::rotation, out);
    }
    STDMETHODIMP SetRotationKey(UINT animation, UINT key, LPD3DXKEY_QUATERNION in) override
    {
        return SetKey("SetRotationKey", animation, key, &Animation::rotation, in);
    }

    STDMETHODIMP_(UINT) GetNumTranslationKeys(UINT animation) override
    {
        return animation < animations_.size() ? UINT(animations_[animation].translation.size()) : 0;
    }
    STDMETHODIMP GetTranslationKeys(UINT animation, LPD3DXKEY_VECTOR3 keys) override
    {
        return CopyKeys("GetTranslationKeys", animation, &Animation::translation, keys);
    }
    STDMETHODIMP GetTranslationKey(UINT animation, UINT key, LPD3DXKEY_VECTOR3 out) override
    {
        return GetKey("GetTranslationKey", animation, key, &Animation::translation, out);
    }
    STDMETHODIMP SetTranslationKey(UINT animation, UINT key, LPD3DXKEY_VECTOR3 in) override
    {
        return SetKey("SetTranslationKey", animation, key, &Animation::translation, in);
    }

    STDMETHODIMP_(UINT) GetNumCallbackKeys() override { return UINT(callbacks_.size()); }
    STDMETHODIMP GetCallbackKeys(LPD3DXKEY_CALLBACK keys) override
    {
        if (!keys)
            return Invalid("GetCallbackKeys", "no array to fill");
        std::copy(callbacks_.begin(), callbacks_.end(), keys);
        return D3D_OK;
    }
    STDMETHODIMP GetCallbackKey(UINT key, LPD3DXKEY_CALLBACK out) override
    {
        if (!out || key >= callbacks_.size())
            return Invalid("GetCallbackKey", "no such callback key, or nothing to fill");
        *out = callbacks_[key];
        return D3D_OK;
    }
    STDMETHODIMP SetCallbackKey(UINT key, LPD3DXKEY_CALLBACK in) override
    {
        if (!in || key >= callbacks_.size())
            return Invalid("SetCallbackKey", "no such callback key, or no key given");
        if (!InOrder(callbacks_, key, in->Time))
            return Invalid("SetCallbackKey", "the time would put the key out of order");
        callbacks_[key] = *in;
        UpdatePeriod();
        return D3D_OK;
    }

    STDMETHODIMP UnregisterScaleKey(UINT animation, UINT key) override
    {
        return RemoveKey("UnregisterScaleKey", animation, key, &Animation::scale);
    }
    STDMETHODIMP UnregisterRotationKey(UINT animation, UINT key) override
    {
        return RemoveKey("UnregisterRotationKey", animation, key, &Animation::rotation);
    }
    STDMETHODIMP UnregisterTranslationKey(UINT animation, UINT key) override
    {
        return RemoveKey("UnregisterTranslationKey", animation, key, &Animation::translation);
    }

    STDMETHODIMP RegisterAnimationSRTKeys(LPCSTR name, UINT numScale, UINT numRotation, UINT numTranslation,
                                          CONST D3DXKEY_VECTOR3 *scale, CONST D3DXKEY_QUATERNION *rotation,
                                          CONST D3DXKEY_VECTOR3 *translation, DWORD *index) override
    {
        if (!name)
            return Invalid("RegisterAnimationSRTKeys", "an animation needs a name");
        if ((numScale && !scale) || (numRotation && !rotation) || (numTranslation && !translation))
            return Invalid("RegisterAnimationSRTKeys", "a key count without its keys");
        auto finite = [](const auto *keys, UINT n) {
            return std::all_of(keys, keys + n, [](const auto &k) { return std::isfinite(k.Time); });
        };
        if ((numScale && !finite(scale, numScale)) || (numRotation && !finite(rotation, numRotation)) ||
            (numTranslation && !finite(translation, numTranslation)))
            return Invalid("RegisterAnimationSRTKeys", "a key time that is not a number");
        if (animations_.size() >= capacity_)
            return Invalid("RegisterAnimationSRTKeys",
                           "the set is full (" + std::to_string(capacity_) + " animations)");
        Animation a;
        a.name = name;
        a.scale.assign(scale, scale + numScale);
        a.rotation.assign(rotation, rotation + numRotation);
        a.translation.assign(translation, translation + numTranslation);
        std::stable_sort(a.scale.begin(), a.scale.end(), ByTime<D3DXKEY_VECTOR3>);
        std::stable_sort(a.rotation.begin(), a.rotation.end(), ByTime<D3DXKEY_QUATERNION>);
        std::stable_sort(a.translation.begin(), a.translation.end(), ByTime<D3DXKEY_VECTOR3>);
        animations_.push_back(std::move(a));
        if (index)
            *index = DWORD(animations_.size() - 1);
        UpdatePeriod();
        return D3D_OK;
    }

    STDMETHODIMP Compress(DWORD, FLOAT, LPD3DXFRAME, LPD3DXBUFFER *compressed) override
    {
        if (compressed)
            *compressed = nullptr;
        Unsupported(kLib, "ID3DXKeyframedAnimationSet::Compress (compressed animation sets)");
        return E_NOTIMPL;
    }

    STDMETHODIMP UnregisterAnimation(UINT index) override
    {
        if (index >= animations_.size())
            return Invalid("UnregisterAnimation", "no such animation");
        animations_.erase(animations_.begin() + index);
        UpdatePeriod();
        return D3D_OK;
    }

private:
    HRESULT Invalid(const char *method, const std::string &why)
    {
        Diagnostic(kLib, "", "", std::string("ID3DXKeyframedAnimationSet::") + method + ": " + why);
        return D3DERR_INVALIDCALL;
    }

    template <class Key>
    static bool InOrder(const std::vector<Key> &keys, UINT key, float time)
    {
        return (key == 0 || keys[key - 1].Time <= time) && (key + 1 >= keys.size() || time <= keys[key + 1].Time);
    }

    template <class Key>
    HRESULT CopyKeys(const char *method, UINT animation, std::vector<Key> Animation::*list, Key *out)
    {
        if (!out || animation >= animations_.size())
            return Invalid(method, "no such animation, or no array to fill");
        const std::vector<Key> &keys = animations_[animation].*list;
        std::copy(keys.begin(), keys.end(), out);
        return D3D_OK;
    }

    template <class Key>
    HRESULT GetKey(const char *method, UINT animation, UINT key, std::vector<Key> Animation::*list, Key *out)
    {
        if (!out || animation >= animations_.size() || key >= (animations_[animation].*list).size())
            return Invalid(method, "no such key, or nothing to fill");
        *out = (animations_[animation].*list)[key];
        return D3D_OK;
    }

    template <class Key>
    HRESULT SetKey(const char *method, UINT animation, UINT key, std::vector<Key> Animation::*list, const Key *in)
    {
        if (!in || animation >= animations_.size() || key >= (animations_[animation].*list).size())
            return Invalid(method, "no such key, or no key given");
        std::vector<Key> &keys = animations_[animation].*list;
        if (!InOrder(keys, key, in->Time))
            return Invalid(method, "the time would put the key out of order");
        keys[key] = *in;
        UpdatePeriod();
        return D3D_OK;
    }

    template <class Key>
    HRESULT RemoveKey(const char *method, UINT animation, UINT key, std::vector<Key> Animation::*list)
    {
        if (animation >= animations_.size() || key >= (animations_[animation].*list).size())
            return Invalid(method, "no such key");
        std::vector<Key> &keys = animations_[animation].*list;
        keys.erase(keys.begin() + key);
        UpdatePeriod();
        return D3D_OK;
    }

    void UpdatePeriod()
    {
        float last = 0.0f;
        for (const Animation &a : animations_) {
            if (!a.scale.empty())
                last = std::max(last, a.scale.back().Time);
            if (!a.rotation.empty())
                last = std::max(last, a.rotation.back().Time);
            if (!a.translation.empty())
                last = std::max(last, a.translation.back().Time);
        }
        if (!callbacks_.empty())
            last = std::max(last, callbacks_.back().Time);
        period_ = last / ticksPerSecond_;
    }

    std::string name_;
    double ticksPerSecond_;
    D3DXPLAYBACK_TYPE playback_;
    size_t capacity_;
    std::vector<Animation> animations_;
    std::vector<D3DXKEY_CALLBACK> callbacks_;
    double period_ = 0.0;
};

}  // namespace
}  // namespace tavrok::d3dx9mesh

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXCreateKeyframedAnimationSet(LPCSTR pName, DOUBLE TicksPerSecond, D3DXPLAYBACK_TYPE Playback,
                                               UINT NumAnimations, UINT NumCallbackKeys,
                                               CONST D3DXKEY_CALLBACK *pCallbackKeys,
                                               LPD3DXKEYFRAMEDANIMATIONSET *ppAnimationSet)
{
    if (ppAnimationSet)
        *ppAnimationSet = nullptr;
    const char *why = nullptr;
    if (!ppAnimationSet)
        why = "no pointer for the set";
    else if (!(TicksPerSecond > 0.0) || !std::isfinite(TicksPerSecond))
        why = "the ticks per second must be positive";
    else if (Playback != D3DXPLAY_LOOP && Playback != D3DXPLAY_ONCE && Playback != D3DXPLAY_PINGPONG)
        why = "unknown playback type";
    else if (NumCallbackKeys && !pCallbackKeys)
        why = "a callback key count without its keys";
    if (why) {
        tavrok::Diagnostic(kLib, "", pName ? pName : "", std::string("D3DXCreateKeyframedAnimationSet: ") + why);
        return D3DERR_INVALIDCALL;
    }
    *ppAnimationSet = new CKeyframedAnimationSet(pName, TicksPerSecond, Playback, NumAnimations, pCallbackKeys,
                                                 NumCallbackKeys);
    return D3D_OK;
}
