ardour {
	["type"]    = "dsp",
	name        = "Tonarvo Test Signal",
	category    = "Utility",
	license     = "MIT",
	author      = "MARVOLTIC",
	description = [[Two tones a channel, a function of the transport position alone and silent while the transport stands: the same input in every run and on every track.]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_init (rate)
	sr = rate
end

function dsp_run (ins, outs, n_samples)
	local rolling = Session:transport_rolling ()
	local pos = Session:transport_sample ()
	for c = 1, 2 do
		local o = {}
		for i = 1, n_samples do
			if rolling then
				local t = (pos + i - 1) / sr
				o[i] = 0.5 * math.sin (2 * math.pi * 220 * c * t) + 0.25 * math.sin (2 * math.pi * 1375 * t)
			else
				o[i] = 0
			end
		end
		outs[c]:set_table (o, n_samples)
	end
end
