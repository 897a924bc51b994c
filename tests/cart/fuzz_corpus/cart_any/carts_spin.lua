printh("spinning")
function _update() end
