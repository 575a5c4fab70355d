-- A headless Ardour session with two tracks fed the same signal: one through
-- the VST 2.4 library, one through the VST 3 bundle and then inverted. The
-- master's export is silence exactly when both faces give the same samples;
-- a second export has the VST 2.4 track alone, to show there was music.
local out = os.getenv ("TONARVO_EXPORT_DIR")
local cid = os.getenv ("TONARVO_VST3_CID")

AudioEngine:set_backend ("None (Dummy)", "", "")
create_session (os.getenv ("TONARVO_SESSION_DIR"), "faces", 48000)

local function track (name)
	local t = Session:new_audio_track (2, 2, nil, 1, name, ARDOUR.PresentationInfo.max_order,
		ARDOUR.TrackMode.Normal, true, false):front ()
	t:add_processor_by_index (ARDOUR.LuaAPI.new_luaproc (Session, "Tonarvo Test Signal"), 0, nil, true)
	return t
end
local a = track ("VST2")
local b = track ("VST3")

local vst2 = ARDOUR.LuaAPI.new_plugin (Session, "6248", ARDOUR.PluginType.LXVST, "")
local vst3 = ARDOUR.LuaAPI.new_plugin (Session, cid, ARDOUR.PluginType.VST3, "")
assert (not vst2:isnil (), "the VST 2.4 library is not found")
assert (not vst3:isnil (), "the VST 3 bundle is not found")
-- Both switched on together, so that both have processed the same silence
-- when the export begins (the effect's state still moves in silence).
a:add_processor_by_index (vst2, 1, nil, false)
b:add_processor_by_index (vst3, 1, nil, false)
vst2:activate () vst3:activate ()
b:add_processor_by_index (ARDOUR.LuaAPI.new_luaproc (Session, "Tonarvo Test Invert"), 2, nil, true)

-- The input trim at +6 dB: Ardour holds VST 2.4 values normalised and VST 3
-- values in the parameter's own units.
assert (ARDOUR.LuaAPI.set_processor_param (vst2, 0, 0.625))
assert (ARDOUR.LuaAPI.set_processor_param (vst3, 0, 6.0))
ARDOUR.LuaAPI.usleep (200000)

local function export (name)
	local ex = Session:simple_export ()
	ex:set_folder (out)
	ex:set_name (name)
	assert (ex:set_preset ("6c0f5d1e-4b7a-4f4e-9a55-2f1f2c1a7d01"), "no float export preset")
	ex:set_range (0, 96000)
	assert (ex:check_outputs () and ex:run_export (), "export " .. name .. " failed")
end
export ("difference")
b:mute_control ():set_value (1, PBD.GroupControlDisposition.NoGroup)
export ("vst2")
print ("exported")
