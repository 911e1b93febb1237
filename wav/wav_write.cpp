// The WAVE writer (to come).
