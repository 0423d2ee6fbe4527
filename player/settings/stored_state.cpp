#include "settings/stored_state.h"

namespace chromola {

void LoadStoredSettings(const StoredSettings& stored, PlayerState& state, WindowSettings& window) {
    window = {stored.state,
              stored.left,
              stored.top,
              stored.width,
              stored.height,
              stored.scroll,
              stored.live == 1,
              {stored.setupLeft, stored.setupTop, stored.setupWidth, stored.setupHeight}};
    state.ChosenFiles = stored.path;
    state.TrackIndex = stored.track;
    state.PauseSeconds = stored.pause;
    state.InvertColours = stored.inverse;
    state.RedGain = GainFromPosition(stored.red);
    state.GreenGain = GainFromPosition(stored.green);
    state.BlueGain = GainFromPosition(stored.blue);
    state.FlashLimit = stored.flashLimit;
    state.AutoLevel = stored.autoLevel;
    state.LiveSource = stored.liveSource;
    state.Lights = LightsOptions{stored.lights == 1, stored.universe,
                                 stored.address,     stored.layout,
                                 stored.fixtures,    stored.idleLights,
                                 stored.pixels,      stored.stripEffect,
                                 stored.output,      stored.ddpHost.toStdString(),
                                 stored.ddpPort};
    state.BeatAccent = stored.beatAccent;
    state.BeatScene = stored.beatScene;
    state.Remote = stored.remote;
    state.RemotePort = stored.remotePort;
}

StoredSettings SaveStoredSettings(const PlayerState& state, const WindowSettings& window) {
    StoredSettings out;
    out.path = state.ChosenFiles;
    out.scroll = window.scroll;
    out.state = window.state;
    out.track = state.TrackIndex;
    out.left = window.left;
    out.top = window.top;
    out.width = window.width;
    out.height = window.height;
    out.pause = state.PauseSeconds;
    out.inverse = state.InvertColours;
    out.red = PositionFromGain(state.RedGain);
    out.green = PositionFromGain(state.GreenGain);
    out.blue = PositionFromGain(state.BlueGain);
    out.flashLimit = state.FlashLimit;
    out.autoLevel = state.AutoLevel;
    out.live = window.live ? 1 : 0;
    out.liveSource = state.LiveSource;
    const LightsOptions lights = state.Lights.Clamped();
    out.lights = lights.enabled ? 1 : 0;
    out.universe = lights.universe;
    out.address = lights.address;
    out.layout = lights.layout;
    out.fixtures = lights.fixtures;
    out.idleLights = lights.idleLights;
    out.pixels = lights.pixels;
    out.stripEffect = lights.stripEffect;
    out.output = lights.output;
    out.ddpHost = QString::fromStdString(lights.ddpHost);
    out.ddpPort = lights.ddpPort;
    out.setupLeft = window.setup.left;
    out.setupTop = window.setup.top;
    out.setupWidth = window.setup.width;
    out.setupHeight = window.setup.height;
    out.beatAccent = state.BeatAccent;
    out.beatScene = state.BeatScene;
    out.remote = state.Remote;
    out.remotePort = state.RemotePort;
    return out;
}

}  // namespace chromola
