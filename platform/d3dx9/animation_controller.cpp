/*
 * animation_controller.cpp - ID3DXAnimationController, D3DXCreateAnimationController and
 * D3DXFrameRegisterNamedMatrices.
 *
 * The controller keeps the outputs (a name and where to write its matrix, scale, rotation
 * and translation), the registered sets (one reference each), a fixed number of tracks and
 * a fixed number of keyed events, each limited to what it was created with.  AdvanceTime
 * moves the global time and every enabled track's position (by the time times the
 * track's speed), runs the events due by the new time, hands the callback keys the
 * tracks passed to the caller's handler, and then writes each output an enabled track's
 * set animates: within each priority the tracks are blended by weight (a weighted mean:
 * lerped scale and translation, slerped rotation), and when both priorities animate an
 * output their results are blended by the priority blend, the share given to the
 * low-priority result (0, the default, is the high-priority result alone).  An output no
 * track animates keeps what it holds.  A matrix output is scale, then rotation, then
 * translation.  Tracks start enabled with weight 1, speed 1, low priority, position 0
 * and no set.  Weight, speed and priority-blend events move their value from what it is
 * when the event starts to the keyed value over the duration (linearly, or eased in and
 * out); position and enable events take effect at their start.  Events are kept until
 * they are over.
 */
#include "mesh_private.h"

#include <d3dx9anim.h>
#include <tavrok/platform.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tavrok::d3dx9mesh {
namespace {

struct Output {
    std::string name;
    D3DXMATRIX *matrix = nullptr;
    D3DXVECTOR3 *scale = nullptr;
    D3DXQUATERNION *rotation = nullptr;
    D3DXVECTOR3 *translation = nullptr;
};

struct Track {
    ID3DXAnimationSet *set = nullptr;
    D3DXTRACK_DESC desc = {D3DXPRIORITY_LOW, 1.0f, 1.0f, 0.0, TRUE};
};

struct Event {
    D3DXEVENTHANDLE handle = 0;
    D3DXEVENT_DESC desc = {};
    bool started = false;
    float from = 0.0f;  // the weight, speed or blend when the event started
};

// The running blend of one priority for one output.
struct Blend {
    float weight = 0.0f;
    D3DXVECTOR3 scale{1.0f, 1.0f, 1.0f};
    D3DXQUATERNION rotation{0.0f, 0.0f, 0.0f, 1.0f};
    D3DXVECTOR3 translation{0.0f, 0.0f, 0.0f};

    void Add(float w, const D3DXVECTOR3 &s, const D3DXQUATERNION &r, const D3DXVECTOR3 &t)
    {
        if (weight == 0.0f) {
            scale = s;
            rotation = r;
            translation = t;
            weight = w;
            return;
        }
        const float f = w / (weight + w);
        D3DXVec3Lerp(&scale, &scale, &s, f);
        D3DXQuaternionSlerp(&rotation, &rotation, &r, f);
        D3DXVec3Lerp(&translation, &translation, &t, f);
        weight += w;
    }
};

// The fraction of a transition done after `f` of its duration.
float Transition(D3DXTRANSITION_TYPE type, double f)
{
    f = std::clamp(f, 0.0, 1.0);
    if (type == D3DXTRANSITION_EASEINEASEOUT)
        f = f * f * (3.0 - 2.0 * f);
    return float(f);
}

class CAnimationController final : public ComObject<ID3DXAnimationController, IID_ID3DXAnimationController> {
public:
    CAnimationController(UINT outputs, UINT sets, UINT tracks, UINT events)
        : maxOutputs_(outputs), maxSets_(sets), maxEvents_(events), tracks_(tracks)
    {
    }

    ~CAnimationController() override
    {
        for (Track &t : tracks_)
            if (t.set)
                t.set->Release();
        for (ID3DXAnimationSet *s : sets_)
            s->Release();
    }

    STDMETHODIMP_(UINT) GetMaxNumAnimationOutputs() override { return maxOutputs_; }
    STDMETHODIMP_(UINT) GetMaxNumAnimationSets() override { return maxSets_; }
    STDMETHODIMP_(UINT) GetMaxNumTracks() override { return UINT(tracks_.size()); }
    STDMETHODIMP_(UINT) GetMaxNumEvents() override { return maxEvents_; }

    STDMETHODIMP RegisterAnimationOutput(LPCSTR name, D3DXMATRIX *matrix, D3DXVECTOR3 *scale,
                                         D3DXQUATERNION *rotation, D3DXVECTOR3 *translation) override
    {
        if (!name)
            return Invalid("RegisterAnimationOutput", "an output needs a name");
        Output *o = FindOutput(name);
        if (!o) {
            if (outputs_.size() >= maxOutputs_)
                return Invalid("RegisterAnimationOutput", std::string("no room for output \"") + name + "\" (" +
                                                              std::to_string(maxOutputs_) + " outputs)");
            outputs_.emplace_back();
            o = &outputs_.back();
            o->name = name;
        }
        // Registering a name again points it at the new places.
        o->matrix = matrix;
        o->scale = scale;
        o->rotation = rotation;
        o->translation = translation;
        return D3D_OK;
    }

    STDMETHODIMP RegisterAnimationSet(LPD3DXANIMATIONSET set) override
    {
        if (!set)
            return Invalid("RegisterAnimationSet", "no set");
        if (std::find(sets_.begin(), sets_.end(), set) != sets_.end())
            return Invalid("RegisterAnimationSet", std::string("set \"") + SetName(set) + "\" is registered already");
        if (sets_.size() >= maxSets_)
            return Invalid("RegisterAnimationSet", "no room for another set (" + std::to_string(maxSets_) + " sets)");
        set->AddRef();
        sets_.push_back(set);
        return D3D_OK;
    }

    STDMETHODIMP UnregisterAnimationSet(LPD3DXANIMATIONSET set) override
    {
        auto it = std::find(sets_.begin(), sets_.end(), set);
        if (!set || it == sets_.end())
            return Invalid("UnregisterAnimationSet", "the set is not registered");
        // A track playing the set lets it go too.
        for (Track &t : tracks_)
            if (t.set == set) {
                t.set->Release();
                t.set = nullptr;
            }
        sets_.erase(it);
        set->Release();
        return D3D_OK;
    }

    STDMETHODIMP_(UINT) GetNumAnimationSets() override { return UINT(sets_.size()); }

    STDMETHODIMP GetAnimationSet(UINT index, LPD3DXANIMATIONSET *out) override
    {
        if (out)
            *out = nullptr;
        if (!out || index >= sets_.size())
            return Invalid("GetAnimationSet", "no such set, or no pointer for it");
        *out = sets_[index];
        (*out)->AddRef();
        return D3D_OK;
    }

    STDMETHODIMP GetAnimationSetByName(LPCSTR name, LPD3DXANIMATIONSET *out) override
    {
        if (out)
            *out = nullptr;
        if (!out || !name)
            return Invalid("GetAnimationSetByName", "a name and a pointer for the set are needed");
        for (ID3DXAnimationSet *s : sets_)
            if (strcmp(SetName(s), name) == 0) {
                *out = s;
                s->AddRef();
                return D3D_OK;
            }
        return D3DERR_NOTFOUND;
    }

    STDMETHODIMP AdvanceTime(DOUBLE delta, LPD3DXANIMATIONCALLBACKHANDLER handler) override
    {
        if (!(delta >= 0.0) || !std::isfinite(delta))
            return Invalid("AdvanceTime", "the time step must be zero or more");
        std::vector<double> before(tracks_.size());
        for (size_t i = 0; i < tracks_.size(); ++i) {
            D3DXTRACK_DESC &d = tracks_[i].desc;
            before[i] = d.Position;
            if (d.Enable)
                d.Position += delta * d.Speed;
        }
        time_ += delta;
        std::vector<bool> jumped(tracks_.size(), false);
        RunEvents(jumped);
        if (handler)
            for (size_t i = 0; i < tracks_.size(); ++i)
                if (!jumped[i] && tracks_[i].set && tracks_[i].desc.Enable)
                    PassCallbacks(UINT(i), before[i], handler);
        WriteOutputs();
        return D3D_OK;
    }

    STDMETHODIMP ResetTime() override
    {
        // Pending events keep their place relative to now.
        for (Event &e : events_)
            e.desc.StartTime -= time_;
        time_ = 0.0;
        return D3D_OK;
    }

    STDMETHODIMP_(DOUBLE) GetTime() override { return time_; }

    STDMETHODIMP SetTrackAnimationSet(UINT track, LPD3DXANIMATIONSET set) override
    {
        if (track >= tracks_.size())
            return BadTrack("SetTrackAnimationSet", track);
        // A set not registered yet is registered by being played.
        if (set && std::find(sets_.begin(), sets_.end(), set) == sets_.end()) {
            HRESULT hr = RegisterAnimationSet(set);
            if (FAILED(hr))
                return hr;
        }
        if (set)
            set->AddRef();
        if (tracks_[track].set)
            tracks_[track].set->Release();
        tracks_[track].set = set;
        return D3D_OK;
    }

    STDMETHODIMP GetTrackAnimationSet(UINT track, LPD3DXANIMATIONSET *out) override
    {
        if (out)
            *out = nullptr;
        if (!out)
            return Invalid("GetTrackAnimationSet", "no pointer for the set");
        if (track >= tracks_.size())
            return BadTrack("GetTrackAnimationSet", track);
        *out = tracks_[track].set;
        if (*out)
            (*out)->AddRef();
        return D3D_OK;
    }

    STDMETHODIMP SetTrackPriority(UINT track, D3DXPRIORITY_TYPE priority) override
    {
        if (track >= tracks_.size())
            return BadTrack("SetTrackPriority", track);
        if (priority != D3DXPRIORITY_LOW && priority != D3DXPRIORITY_HIGH)
            return Invalid("SetTrackPriority", "unknown priority");
        tracks_[track].desc.Priority = priority;
        return D3D_OK;
    }

    STDMETHODIMP SetTrackSpeed(UINT track, FLOAT speed) override
    {
        if (track >= tracks_.size())
            return BadTrack("SetTrackSpeed", track);
        tracks_[track].desc.Speed = speed;
        return D3D_OK;
    }

    STDMETHODIMP SetTrackWeight(UINT track, FLOAT weight) override
    {
        if (track >= tracks_.size())
            return BadTrack("SetTrackWeight", track);
        tracks_[track].desc.Weight = weight;
        return D3D_OK;
    }

    STDMETHODIMP SetTrackPosition(UINT track, DOUBLE position) override
    {
        if (track >= tracks_.size())
            return BadTrack("SetTrackPosition", track);
        tracks_[track].desc.Position = position;
        return D3D_OK;
    }

    STDMETHODIMP SetTrackEnable(UINT track, BOOL enable) override
    {
        if (track >= tracks_.size())
            return BadTrack("SetTrackEnable", track);
        tracks_[track].desc.Enable = enable ? TRUE : FALSE;
        return D3D_OK;
    }

    STDMETHODIMP SetTrackDesc(UINT track, LPD3DXTRACK_DESC desc) override
    {
        if (!desc)
            return Invalid("SetTrackDesc", "no description");
        if (track >= tracks_.size())
            return BadTrack("SetTrackDesc", track);
        if (desc->Priority != D3DXPRIORITY_LOW && desc->Priority != D3DXPRIORITY_HIGH)
            return Invalid("SetTrackDesc", "unknown priority");
        tracks_[track].desc = *desc;
        tracks_[track].desc.Enable = desc->Enable ? TRUE : FALSE;
        return D3D_OK;
    }

    STDMETHODIMP GetTrackDesc(UINT track, LPD3DXTRACK_DESC desc) override
    {
        if (!desc)
            return Invalid("GetTrackDesc", "nothing to fill");
        if (track >= tracks_.size())
            return BadTrack("GetTrackDesc", track);
        *desc = tracks_[track].desc;
        return D3D_OK;
    }

    STDMETHODIMP SetPriorityBlend(FLOAT weight) override
    {
        if (!(weight >= 0.0f && weight <= 1.0f))
            return Invalid("SetPriorityBlend", "the blend weight must be between 0 and 1");
        priorityBlend_ = weight;
        return D3D_OK;
    }

    STDMETHODIMP_(FLOAT) GetPriorityBlend() override { return priorityBlend_; }

    STDMETHODIMP_(D3DXEVENTHANDLE) KeyTrackSpeed(UINT track, FLOAT speed, DOUBLE start, DOUBLE duration,
                                                 D3DXTRANSITION_TYPE transition) override
    {
        D3DXEVENT_DESC d = Desc(D3DXEVENT_TRACKSPEED, track, start, duration, transition);
        d.Speed = speed;
        return Key("KeyTrackSpeed", d);
    }

    STDMETHODIMP_(D3DXEVENTHANDLE) KeyTrackWeight(UINT track, FLOAT weight, DOUBLE start, DOUBLE duration,
                                                  D3DXTRANSITION_TYPE transition) override
    {
        D3DXEVENT_DESC d = Desc(D3DXEVENT_TRACKWEIGHT, track, start, duration, transition);
        d.Weight = weight;
        return Key("KeyTrackWeight", d);
    }

    STDMETHODIMP_(D3DXEVENTHANDLE) KeyTrackPosition(UINT track, DOUBLE position, DOUBLE start) override
    {
        D3DXEVENT_DESC d = Desc(D3DXEVENT_TRACKPOSITION, track, start, 0.0, D3DXTRANSITION_LINEAR);
        d.Position = position;
        return Key("KeyTrackPosition", d);
    }

    STDMETHODIMP_(D3DXEVENTHANDLE) KeyTrackEnable(UINT track, BOOL enable, DOUBLE start) override
    {
        D3DXEVENT_DESC d = Desc(D3DXEVENT_TRACKENABLE, track, start, 0.0, D3DXTRANSITION_LINEAR);
        d.Enable = enable ? TRUE : FALSE;
        return Key("KeyTrackEnable", d);
    }

    STDMETHODIMP_(D3DXEVENTHANDLE) KeyPriorityBlend(FLOAT weight, DOUBLE start, DOUBLE duration,
                                                    D3DXTRANSITION_TYPE transition) override
    {
        if (!(weight >= 0.0f && weight <= 1.0f)) {
            Invalid("KeyPriorityBlend", "the blend weight must be between 0 and 1");
            return 0;
        }
        D3DXEVENT_DESC d = Desc(D3DXEVENT_PRIORITYBLEND, 0, start, duration, transition);
        d.Weight = weight;
        return Key("KeyPriorityBlend", d);
    }

    STDMETHODIMP UnkeyEvent(D3DXEVENTHANDLE handle) override
    {
        auto it = std::find_if(events_.begin(), events_.end(), [&](const Event &e) { return e.handle == handle; });
        if (it == events_.end())
            return Invalid("UnkeyEvent", "no such event");
        events_.erase(it);
        return D3D_OK;
    }

    STDMETHODIMP UnkeyAllTrackEvents(UINT track) override
    {
        if (track >= tracks_.size())
            return BadTrack("UnkeyAllTrackEvents", track);
        events_.erase(std::remove_if(events_.begin(), events_.end(),
                                     [&](const Event &e) {
                                         return e.desc.Type != D3DXEVENT_PRIORITYBLEND && e.desc.Track == track;
                                     }),
                      events_.end());
        return D3D_OK;
    }

    STDMETHODIMP UnkeyAllPriorityBlends() override
    {
        events_.erase(std::remove_if(events_.begin(), events_.end(),
                                     [](const Event &e) { return e.desc.Type == D3DXEVENT_PRIORITYBLEND; }),
                      events_.end());
        return D3D_OK;
    }

    STDMETHODIMP_(D3DXEVENTHANDLE) GetCurrentTrackEvent(UINT track, D3DXEVENT_TYPE type) override
    {
        for (const Event &e : events_)
            if (e.desc.Type == type && type != D3DXEVENT_PRIORITYBLEND && e.desc.Track == track && e.started)
                return e.handle;
        return 0;
    }

    STDMETHODIMP_(D3DXEVENTHANDLE) GetCurrentPriorityBlend() override
    {
        for (const Event &e : events_)
            if (e.desc.Type == D3DXEVENT_PRIORITYBLEND && e.started)
                return e.handle;
        return 0;
    }

    STDMETHODIMP_(D3DXEVENTHANDLE) GetUpcomingTrackEvent(UINT track, D3DXEVENTHANDLE after) override
    {
        return Upcoming(after, [&](const Event &e) {
            return e.desc.Type != D3DXEVENT_PRIORITYBLEND && e.desc.Track == track;
        });
    }

    STDMETHODIMP_(D3DXEVENTHANDLE) GetUpcomingPriorityBlend(D3DXEVENTHANDLE after) override
    {
        return Upcoming(after, [](const Event &e) { return e.desc.Type == D3DXEVENT_PRIORITYBLEND; });
    }

    STDMETHODIMP ValidateEvent(D3DXEVENTHANDLE handle) override
    {
        // A question: an event that is over is not valid, and saying so is no fault.
        return FindEvent(handle) ? D3D_OK : D3DERR_INVALIDCALL;
    }

    STDMETHODIMP GetEventDesc(D3DXEVENTHANDLE handle, LPD3DXEVENT_DESC desc) override
    {
        const Event *e = FindEvent(handle);
        if (!e || !desc)
            return Invalid("GetEventDesc", "no such event, or nothing to fill");
        *desc = e->desc;
        return D3D_OK;
    }

    STDMETHODIMP CloneAnimationController(UINT maxOutputs, UINT maxSets, UINT maxTracks, UINT maxEvents,
                                          LPD3DXANIMATIONCONTROLLER *out) override
    {
        if (out)
            *out = nullptr;
        if (!out)
            return Invalid("CloneAnimationController", "no pointer for the copy");
        if (maxOutputs < outputs_.size() || maxSets < sets_.size() || maxEvents < events_.size() || maxTracks == 0)
            return Invalid("CloneAnimationController",
                           "the copy must have room for every output, set and event, and one track");
        CAnimationController *copy = new CAnimationController(maxOutputs, maxSets, maxTracks, maxEvents);
        copy->outputs_ = outputs_;
        copy->sets_ = sets_;
        for (ID3DXAnimationSet *s : sets_)
            s->AddRef();
        for (size_t i = 0; i < std::min(tracks_.size(), copy->tracks_.size()); ++i) {
            copy->tracks_[i] = tracks_[i];
            if (tracks_[i].set)
                tracks_[i].set->AddRef();
        }
        // Events of tracks the copy has no room for are left behind.
        for (const Event &e : events_)
            if (e.desc.Type == D3DXEVENT_PRIORITYBLEND || e.desc.Track < maxTracks)
                copy->events_.push_back(e);
        copy->nextHandle_ = nextHandle_;
        copy->time_ = time_;
        copy->priorityBlend_ = priorityBlend_;
        *out = copy;
        return D3D_OK;
    }

private:
    HRESULT Invalid(const char *method, const std::string &why)
    {
        Diagnostic(kLib, "", "", std::string("ID3DXAnimationController::") + method + ": " + why);
        return D3DERR_INVALIDCALL;
    }

    HRESULT BadTrack(const char *method, UINT track)
    {
        return Invalid(method, "no track " + std::to_string(track) + " (the controller has " +
                                   std::to_string(tracks_.size()) + ")");
    }

    static const char *SetName(ID3DXAnimationSet *set)
    {
        const char *name = set->GetName();
        return name ? name : "";
    }

    Output *FindOutput(const char *name)
    {
        for (Output &o : outputs_)
            if (o.name == name)
                return &o;
        return nullptr;
    }

    const Event *FindEvent(D3DXEVENTHANDLE handle) const
    {
        for (const Event &e : events_)
            if (e.handle == handle && handle != 0)
                return &e;
        return nullptr;
    }

    static D3DXEVENT_DESC Desc(D3DXEVENT_TYPE type, UINT track, double start, double duration,
                               D3DXTRANSITION_TYPE transition)
    {
        D3DXEVENT_DESC d = {};
        d.Type = type;
        d.Track = track;
        d.StartTime = start;
        d.Duration = duration;
        d.Transition = transition;
        return d;
    }

    D3DXEVENTHANDLE Key(const char *method, const D3DXEVENT_DESC &desc)
    {
        const char *why = nullptr;
        if (desc.Type != D3DXEVENT_PRIORITYBLEND && desc.Track >= tracks_.size())
            why = "no such track";
        else if (!std::isfinite(desc.StartTime) || !(desc.Duration >= 0.0) || !std::isfinite(desc.Duration))
            why = "the start must be a time and the duration zero or more";
        else if (desc.Transition != D3DXTRANSITION_LINEAR && desc.Transition != D3DXTRANSITION_EASEINEASEOUT)
            why = "unknown transition";
        else if (events_.size() >= maxEvents_)
            why = "no free event";
        if (why) {
            Invalid(method, why);
            return 0;
        }
        Event e;
        e.desc = desc;
        e.handle = nextHandle_++;
        if (nextHandle_ == 0)
            nextHandle_ = 1;
        events_.push_back(e);
        return e.handle;
    }

    template <class Filter>
    D3DXEVENTHANDLE Upcoming(D3DXEVENTHANDLE after, Filter filter) const
    {
        // Not started yet, in the order they start (keying order for equal starts).
        std::vector<const Event *> pending;
        for (const Event &e : events_)
            if (!e.started && filter(e))
                pending.push_back(&e);
        std::stable_sort(pending.begin(), pending.end(),
                         [](const Event *a, const Event *b) { return a->desc.StartTime < b->desc.StartTime; });
        if (after == 0)
            return pending.empty() ? 0 : pending.front()->handle;
        for (size_t i = 0; i + 1 < pending.size(); ++i)
            if (pending[i]->handle == after)
                return pending[i + 1]->handle;
        return 0;
    }

    // Applies every event due by the current time, in the order they start, and drops those
    // that are over.  `jumped` marks the tracks a position event moved.
    void RunEvents(std::vector<bool> &jumped)
    {
        std::vector<size_t> order(events_.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return events_[a].desc.StartTime < events_[b].desc.StartTime;
        });
        std::vector<bool> over(events_.size(), false);
        for (size_t i : order) {
            Event &e = events_[i];
            const D3DXEVENT_DESC &d = e.desc;
            if (d.StartTime > time_)
                continue;
            float *value = nullptr;
            float target = 0.0f;
            switch (d.Type) {
            case D3DXEVENT_TRACKSPEED:
                value = &tracks_[d.Track].desc.Speed;
                target = d.Speed;
                break;
            case D3DXEVENT_TRACKWEIGHT:
                value = &tracks_[d.Track].desc.Weight;
                target = d.Weight;
                break;
            case D3DXEVENT_PRIORITYBLEND:
                value = &priorityBlend_;
                target = d.Weight;
                break;
            case D3DXEVENT_TRACKPOSITION: {
                D3DXTRACK_DESC &t = tracks_[d.Track].desc;
                t.Position = d.Position + (t.Enable ? (time_ - d.StartTime) * t.Speed : 0.0);
                jumped[d.Track] = true;
                over[i] = true;
                continue;
            }
            case D3DXEVENT_TRACKENABLE:
                tracks_[d.Track].desc.Enable = d.Enable;
                over[i] = true;
                continue;
            default:
                over[i] = true;
                continue;
            }
            if (!e.started) {
                e.started = true;
                e.from = *value;
            }
            const double done = d.Duration > 0.0 ? (time_ - d.StartTime) / d.Duration : 1.0;
            *value = e.from + (target - e.from) * Transition(d.Transition, done);
            if (done >= 1.0) {
                *value = target;
                over[i] = true;
            }
        }
        size_t kept = 0;
        for (size_t i = 0; i < events_.size(); ++i)
            if (!over[i])
                events_[kept++] = events_[i];
        events_.resize(kept);
    }

    // Hands the handler every callback key the track passed on its way from `from` to its
    // position now (a key at `from` itself was passed by the step before).
    void PassCallbacks(UINT track, double from, ID3DXAnimationCallbackHandler *handler)
    {
        ID3DXAnimationSet *set = tracks_[track].set;
        const double to = tracks_[track].desc.Position;
        if (to == from)
            return;
        const bool backwards = to < from;
        const DWORD flags =
            D3DXCALLBACK_SEARCH_EXCLUDING_INITIAL_POSITION | (backwards ? D3DXCALLBACK_SEARCH_BEHIND_INITIAL_POSITION : 0);
        double at = from;
        // A very long step over a short looping set could pass a key many times; each
        // key is handed over at most this often per step.
        for (int guard = 0; guard < 1024; ++guard) {
            double next = 0.0;
            void *data = nullptr;
            if (FAILED(set->GetCallback(at, flags, &next, &data)))
                break;
            if (backwards ? next < to : next > to)
                break;
            handler->HandleCallback(track, data);
            if (next == at)
                break;
            at = next;
        }
    }

    void WriteOutputs()
    {
        struct Sample {
            ID3DXAnimationSet *set;
            float weight;
            bool high;
            double position;
        };
        std::vector<Sample> playing;
        for (const Track &t : tracks_)
            if (t.set && t.desc.Enable && t.desc.Weight > 0.0f)
                playing.push_back({t.set, t.desc.Weight, t.desc.Priority == D3DXPRIORITY_HIGH,
                                   t.set->GetPeriodicPosition(t.desc.Position)});
        if (playing.empty())
            return;
        for (Output &o : outputs_) {
            Blend low, high;
            for (const Sample &p : playing) {
                UINT index = 0;
                if (FAILED(p.set->GetAnimationIndexByName(o.name.c_str(), &index)))
                    continue;
                D3DXVECTOR3 s, t;
                D3DXQUATERNION r;
                if (FAILED(p.set->GetSRT(p.position, index, &s, &r, &t)))
                    continue;
                (p.high ? high : low).Add(p.weight, s, r, t);
            }
            if (low.weight == 0.0f && high.weight == 0.0f)
                continue;  // nothing plays this output: it keeps its value
            Blend result = high.weight > 0.0f ? high : low;
            if (high.weight > 0.0f && low.weight > 0.0f) {
                D3DXVec3Lerp(&result.scale, &high.scale, &low.scale, priorityBlend_);
                D3DXQuaternionSlerp(&result.rotation, &high.rotation, &low.rotation, priorityBlend_);
                D3DXVec3Lerp(&result.translation, &high.translation, &low.translation, priorityBlend_);
            }
            if (o.scale)
                *o.scale = result.scale;
            if (o.rotation)
                *o.rotation = result.rotation;
            if (o.translation)
                *o.translation = result.translation;
            if (o.matrix) {
                D3DXMATRIX s, r;
                D3DXMatrixScaling(&s, result.scale.x, result.scale.y, result.scale.z);
                D3DXMatrixRotationQuaternion(&r, &result.rotation);
                D3DXMatrixMultiply(o.matrix, &s, &r);
                o.matrix->_41 = result.translation.x;
                o.matrix->_42 = result.translation.y;
                o.matrix->_43 = result.translation.z;
            }
        }
    }

    size_t maxOutputs_, maxSets_, maxEvents_;
    std::vector<Output> outputs_;
    std::vector<ID3DXAnimationSet *> sets_;
    std::vector<Track> tracks_;
    std::vector<Event> events_;
    D3DXEVENTHANDLE nextHandle_ = 1;
    double time_ = 0.0;
    float priorityBlend_ = 0.0f;
};

HRESULT RegisterFrames(D3DXFRAME *frame, ID3DXAnimationController *controller)
{
    for (; frame; frame = frame->pFrameSibling) {
        if (frame->Name) {
            HRESULT hr = controller->RegisterAnimationOutput(frame->Name, &frame->TransformationMatrix, nullptr,
                                                             nullptr, nullptr);
            if (FAILED(hr))
                return hr;
        }
        HRESULT hr = RegisterFrames(frame->pFrameFirstChild, controller);
        if (FAILED(hr))
            return hr;
    }
    return D3D_OK;
}

}  // namespace
}  // namespace tavrok::d3dx9mesh

using namespace tavrok::d3dx9mesh;

HRESULT WINAPI D3DXCreateAnimationController(UINT MaxNumMatrices, UINT MaxNumAnimationSets, UINT MaxNumTracks,
                                             UINT MaxNumEvents, LPD3DXANIMATIONCONTROLLER *ppAnimController)
{
    if (ppAnimController)
        *ppAnimController = nullptr;
    if (!ppAnimController || MaxNumMatrices == 0 || MaxNumAnimationSets == 0 || MaxNumTracks == 0) {
        tavrok::Diagnostic(kLib, "", "",
                           "D3DXCreateAnimationController: room for at least one output, set and track, and a "
                           "pointer for the controller, are needed");
        return D3DERR_INVALIDCALL;
    }
    *ppAnimController = new CAnimationController(MaxNumMatrices, MaxNumAnimationSets, MaxNumTracks, MaxNumEvents);
    return D3D_OK;
}

HRESULT WINAPI D3DXFrameRegisterNamedMatrices(LPD3DXFRAME pFrameRoot, LPD3DXANIMATIONCONTROLLER pAnimController)
{
    if (!pFrameRoot || !pAnimController) {
        tavrok::Diagnostic(kLib, "", "", "D3DXFrameRegisterNamedMatrices: a frame and a controller are needed");
        return D3DERR_INVALIDCALL;
    }
    return RegisterFrames(pFrameRoot, pAnimController);
}
