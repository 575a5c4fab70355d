ardour {
	["type"]    = "dsp",
	name        = "Tonarvo Test Invert",
	category    = "Utility",
	license     = "MIT",
	author      = "MARVOLTIC",
	description = [[Inverts the polarity exactly, so that two equal signals sum to silence.]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

function dsp_run (ins, outs, n_samples)
	for c = 1, 2 do
		local x = ins[c]:array ()
		local o = {}
		for i = 1, n_samples do o[i] = -x[i] end
		outs[c]:set_table (o, n_samples)
	end
end
